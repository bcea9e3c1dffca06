// Result files of a window (a text data file and its ".inf" description beside it) and the
// picture of a window on the clipboard.
#pragma once

// Writes window w's description and data files for the path in file_name, overwriting them.
// 1 when both were written; 0 after an error, which has been shown in a message box.
int SaveInfData(int w);
// The description file's path for a data file path: its last three characters become "inf".
void InfPathFor(const char* dataPath, char* out, int outSize);
