#include "mainwin/ui_names.h"

#include <QHelpEvent>
#include <QListWidget>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace ui {

namespace {

class NameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        // A line no wider than the list is drawn cut short instead of widening the list.
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (const auto *view = qobject_cast<const QAbstractItemView *>(parent()))
            size.setWidth(std::min(size.width(), view->viewport()->width()));
        return size;
    }

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        if (QStyledItemDelegate::sizeHint(option, index).width() > option.rect.width())
            QToolTip::showText(event->globalPos(), index.data().toString(), view->viewport(), option.rect);
        else
            QToolTip::hideText();
        return true;
    }
};

} // namespace

bool NameLabel::cut() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }

void NameLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect room = contentsRect();
    style()->drawItemText(&painter, room, alignment(), palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideRight, room.width()), foregroundRole());
}

bool NameLabel::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QLabel::event(event);
    if (cut())
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
    else
        QToolTip::hideText();
    return true;
}

void fitNames(QListWidget *list)
{
    list->setItemDelegate(new NameDelegate(list));
    list->setTextElideMode(Qt::ElideRight);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

} // namespace ui
