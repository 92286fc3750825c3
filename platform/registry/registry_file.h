// The registry file: a JSON document with typed values, easy to read and edit.
//
//   {
//     "format": "gimro-tal registry",
//     "version": 1,
//     "roots": {
//       "HKEY_CURRENT_USER": {
//         "keys": {
//           "Software": {
//             "values": {
//               "": {"string": "the default value"},
//               "Count": {"integer": 5},
//               "Blob": {"binary": "00ff10"}
//             },
//             "keys": {}
//           }
//         }
//       }
//     }
//   }
//
// Value types are "string", "expand_string", "integer" (32 bits) and "binary"
// (hexadecimal). The reader treats the file as hostile input.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/registry_tree.h"

namespace gt::reg {

// Fills Tree from Bytes. On failure returns false, leaves Tree empty and puts
// the reason (with its byte offset) into Error.
bool ParseRegistryFile(std::string_view Bytes, RegTree& Tree, std::string& Error);

// The file text of Tree, UTF-8, ending in a newline.
std::string FormatRegistryFile(const RegTree& Tree);

}  // namespace gt::reg
