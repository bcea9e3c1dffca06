// The panel side of result files: the save dialog, the clipboard picture and the picture export.
#include <cstdio>
#include <cstring>
#include <string>

#include "analyzer/export.h"
#include "analyzer/model.h"
#include "analyzer/panels.h"
#include "analyzer/save.h"
#include "ui/userint.h"

int SaveResultExport(int w, const char* path, int kind) {
  if (w < 0 || w >= 2) return 0;
  if (kind == kExportCsv) return SaveResultCsv(w, path);
  // The picture at the chosen width (16:9), or as large as the graph is on the panel.
  int width = 0;
  GetCtrlVal(mainpanel, MAIN_PictureSizeRing, &width);
  const int height = width > 0 ? width * 9 / 16 : 0;
  const int graph = w == 0 ? MAIN_Graph1 : MAIN_Graph2;
  if (SaveGraphPicture(mainpanel, graph, path, width, height) < 0) {
    MessagePopup("Внимание !!!", "Изображение графика не записано !");
    return 0;
  }
  return 1;
}

VELTRA_COMMIT(SaveFiles) {
  const int w = control == MAIN_SaveButton2 ? 1 : 0;
  char path[kPathLen] = "";
  const int chosen = FileSelectPopup(proj_dir, "*.txt", kResultFilters, "Сохранить результат окна",
                                     VAL_OK_BUTTON, 0, 0, 1, 1, path, sizeof path);
  if (chosen <= 0 || path[0] == '\0') return 0;
  // A name typed without an extension is a text file.
  if (ExtensionAt(path) == std::string::npos && std::strlen(path) + 4 < sizeof path) {
    std::strcat(path, ".txt");
  }
  // CSV and pictures stand alone: no description file, and the path of the last result or
  // recording stays as it was.
  if (const int kind = ExportKindOf(path); kind != kExportText) {
    if (GetFileInfo(path, nullptr) == 1 &&
        ConfirmPopup("Внимание !!!", "Файл уже существует. Заменить его?") != VAL_YES) {
      return 0;
    }
    SaveResultExport(w, path, kind);
    return 0;
  }
  if (NamedLikeDescription(path)) {
    RefuseDescriptionName();
    return 0;
  }
  if (GetFileInfo(path, nullptr) == 1 &&
      ConfirmPopup("Внимание !!!", "Файл уже существует. Заменить его?") != VAL_YES) {
    return 0;
  }
  char infPath[kPathLen + 8];
  InfPathFor(path, infPath, sizeof infPath);
  if (GetFileInfo(infPath, nullptr) == 1 &&
      ConfirmPopup("Внимание !!!", "Файл описания (.inf) уже существует. Заменить его?") !=
          VAL_YES) {
    return 0;
  }
  SetResultName(path);
  SaveInfData(w);
  return 0;
}

VELTRA_COMMIT(ClipBoord) {
  int ft = 0, fl = 0, fh = 0, fw = 0;
  GetCtrlBoundingRect(panel, MAIN_GraphFrame, &ft, &fl, &fh, &fw);
  // Window 1 takes the upper half of the frame, window 2 starts at its own frame.
  const bool second = control == MAIN_CopyButton2;
  int gt = 0, left = 0, gh = 0, gw = 0;
  GetCtrlBoundingRect(panel, second ? MAIN_Graph2 : MAIN_Graph1, &gt, &left, &gh, &gw);
  int top = ft;
  if (second) {
    int l2 = 0, h2 = 0, w2 = 0;
    GetCtrlBoundingRect(panel, MAIN_Graph2Frame, &top, &l2, &h2, &w2);
  }
  int bitmap = 0;
  if (GetPanelDisplayBitmap(panel, VAL_FULL_PANEL, top, left, fh / 2, fw, &bitmap) >= 0) {
    ClipboardPutBitmap(bitmap);
    DiscardBitmap(bitmap);
  }
  return 0;
}
