// A saved picture as source text that compiles into a program (a Pascal
// constant, a C array), as Base64, or as a character picture.
#pragma once

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIEBitmap;

// The identifier the arrays are named after: the file name without its folder,
// every character outside A-Z, a-z, 0-9 and "_" replaced by "_", and a leading
// "_" when it would otherwise start with a digit or be empty.
AnsiString IESourceArrayName(const WideString& FileName);

// Writes the bytes of Data from its position to its end into Text as lines
// ending in CR LF, named after FileName:
//  0: "const", "  <name>_Size = <n>;", "  <name> : array [0..<name>_Size-1] of byte = (",
//     then "$XX," items in lines indented by four blanks (a line is written
//     once it exceeds 70 characters), the last item "$XX);";
//  1: "// Size=<n>", "const unsigned char <name>[<n>] = {", then "0xXX," items in
//     lines without indent (the same breaking), the last item without a comma,
//     then "};";
//  2: Base64 in lines of 76 characters.
// Data must hold at least one byte for languages 0 and 1. Raises when Text
// cannot be written.
void IEWriteSourceArray(TStream* Data, const WideString& FileName, Integer Language, TStream* Text);

// One line per row of an ie24RGB picture, one character per pixel from
// "W@#*+:., " (darkest first) by grey level: index = grey * 9 div 255, at
// most 8, with grey weighted by the library's grey weights.
void IEWriteCharacterPicture(TIEBitmap* Bitmap, TStream* Text);
