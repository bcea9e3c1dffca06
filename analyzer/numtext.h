// Numbers as text, the same in every locale.
#pragma once

// Reads a whole decimal number as the operator types it: "2.5" and "2,5" are both 2.5; leading
// and trailing blanks are allowed, anything else after the number is not. False, `*value`
// unchanged, when the text is no number.
bool ParseDecimal(const char* text, double* value);
