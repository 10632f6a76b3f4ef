// The count sheet for counting on paper: category, product, book figure and an empty column to
// write the count in, a page for every kSheetRows products.
#pragma once

#include "ledger/stocktake.h"

class QPagedPaintDevice;

inline constexpr int kSheetRows = 40;

struct CountSheet {
    QString title;    // the category, or every category
    QString date;     // when it was printed
    std::vector<ledger::CountLine> lines;
};

// Draws the sheet; the number of pages drawn, 0 when the device could not be painted on.
int drawCountSheet(QPagedPaintDevice &device, const CountSheet &sheet);

// Writes the sheet to a PDF file; the number of pages, 0 when the file could not be written.
int saveCountSheet(const QString &path, const CountSheet &sheet);
