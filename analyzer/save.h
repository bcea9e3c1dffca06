// Result files of a window (a text data file and its ".inf" description beside it) and the
// picture of a window on the clipboard.
#pragma once

#include <string>

#include "analyzer/model.h"

// The path last chosen for a result's data file. Kept apart from file_name, the recording that
// playback reads: saving a result must not change what the next run analyses.
extern char result_name[kPathLen];

// The path the next SaveInfData writes.
void SetResultName(const char* path);
// Writes window w's description and data files for the path in result_name, overwriting them.
// 1 when both were written; 0 after an error, which has been shown in a message box.
int SaveInfData(int w);
// The description file's path for a data file path, in the same folder: the file name's
// extension replaced by ".inf", or ".inf" appended to a name without one.
void InfPathFor(const char* dataPath, char* out, int outSize);
// Where the extension of the file name in path begins (its '.'), or npos without one.
size_t ExtensionAt(const std::string& path);
// A data file named "….inf" would be its own description file, or a recording's header.
bool NamedLikeDescription(const char* path);
void RefuseDescriptionName();
