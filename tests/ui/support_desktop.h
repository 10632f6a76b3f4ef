// Shared by the tests of what the program asks the desktop to open.
#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

// Records the local files and folders the program asks the desktop to open, instead of opening
// them.
class Desktop : public QObject {
    Q_OBJECT

public:
    Desktop() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~Desktop() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};
