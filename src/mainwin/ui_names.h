// Names of up to ten characters in places narrower than that: drawn cut short with "…", and
// shown whole as a tooltip. The text itself stays whole: the handlers read names back from the
// labels and lists.
#pragma once

#include <QLabel>

class QListWidget;

namespace ui {

// A label that fits its text to the label, at most maximumWidth() wide.
class NameLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    bool cut() const;
};

// The lines of the list are no wider than the list: no sideways scrolling, long names cut short.
void fitNames(QListWidget *list);

} // namespace ui
