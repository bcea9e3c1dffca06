// Results in exchange formats beside the text file + ".inf": CSV (UTF-8, '#' comment header,
// decimal point in every locale) and a picture of the window's graph (PNG or SVG). The choice
// is the file name's extension.
#pragma once

#include <string>

enum ExportKind : int { kExportText = 0, kExportCsv = 1, kExportPng = 2, kExportSvg = 3 };

// What a result saved under `path` becomes: .csv, .png, .svg (any case), else the text file.
int ExportKindOf(const char* path);
// Window w's result as CSV text.
std::string CsvText(int w);
// Writes window w's result to `path` as `kind` (not kExportText), through a temporary file.
// 1 when written; 0 after an error, which has been shown in a message box.
int SaveResultExport(int w, const char* path, int kind);
// Writes window w's result as CSV to path: 1 written; 0 after an error, reported.
int SaveResultCsv(int w, const char* path);
// The save dialog's filters: the text file first (the default), then the exchange formats.
constexpr const char* kResultFilters = "Текст (*.txt *.rin)|CSV (*.csv)|PNG (*.png)|SVG (*.svg)";
