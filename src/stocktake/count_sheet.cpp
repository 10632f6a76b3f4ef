#include "stocktake/count_sheet.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace {

// Column edges as parts of the page's width: category, product, book figure, count.
constexpr double kEdges[] = {0, 0.22, 0.62, 0.78, 1};

void drawPage(QPainter &p, const QRect &area, const CountSheet &sheet, std::size_t first, int page, int pages)
{
    const int lineHeight = area.height() / (kSheetRows + 4);
    QFont font = p.font();
    font.setPixelSize(lineHeight * 11 / 20);
    p.setFont(font);
    auto cell = [&](int column, int top, const QString &text, Qt::Alignment align) {
        const int left = area.left() + static_cast<int>(kEdges[column] * area.width());
        const int right = area.left() + static_cast<int>(kEdges[column + 1] * area.width());
        p.drawText(QRect(left + lineHeight / 4, top, right - left - lineHeight / 2, lineHeight),
                   align | Qt::AlignVCenter, text);
    };
    int top = area.top();
    p.drawText(QRect(area.left(), top, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("盘点表  %1").arg(sheet.title));
    p.drawText(QRect(area.left(), top, area.width(), lineHeight), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("%1  第 %2 页，共 %3 页").arg(sheet.date).arg(page).arg(pages));
    top += lineHeight * 3 / 2;
    const QStringList headers = {QStringLiteral("类"), QStringLiteral("商品名"), QStringLiteral("账面库存"),
                                 QStringLiteral("实盘数量")};
    for (int c = 0; c < 4; ++c)
        cell(c, top, headers[c], c == 2 ? Qt::AlignRight : Qt::AlignLeft);
    const std::size_t last = std::min(sheet.lines.size(), first + kSheetRows);
    for (std::size_t i = first; i <= last; ++i) {
        p.drawLine(area.left(), top + lineHeight, area.right(), top + lineHeight);
        top += lineHeight;
        if (i == last)
            break;
        const ledger::CountLine &l = sheet.lines[i];
        cell(0, top, l.product.category, Qt::AlignLeft);
        cell(1, top, l.product.name, Qt::AlignLeft);
        cell(2, top, QString::number(l.book), Qt::AlignRight);
    }
    // The column to write in is boxed.
    const int boxLeft = area.left() + static_cast<int>(kEdges[3] * area.width());
    const int tableTop = area.top() + lineHeight * 3 / 2;
    p.drawRect(QRect(boxLeft, tableTop, area.right() - boxLeft, top - tableTop));
}

} // namespace

int drawCountSheet(QPagedPaintDevice &device, const CountSheet &sheet)
{
    QPainter p;
    if (!p.begin(&device))
        return 0;
    const int pages = std::max<int>(1, static_cast<int>((sheet.lines.size() + kSheetRows - 1) / kSheetRows));
    const QRect area = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QRect inside(0, 0, area.width(), area.height()); // the painter starts at the paint rectangle
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage())
            return 0;
        drawPage(p, inside, sheet, static_cast<std::size_t>(page) * kSheetRows, page + 1, pages);
    }
    return p.end() ? pages : 0;
}

int saveCountSheet(const QString &path, const CountSheet &sheet)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setTitle(QStringLiteral("盘点表"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        pages = drawCountSheet(writer, sheet);
    }
    file.close();
    if (file.error() != QFileDevice::NoError || pages == 0) {
        file.remove();
        return 0;
    }
    return pages;
}
