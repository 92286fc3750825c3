/* The protocol between the program and a format plug-in library: the entry
   points it exports (plain C names), the information items, and the callbacks
   it is handed. Plain C so that a plug-in needs nothing else of the program.

   Choices of this protocol where older plug-in hosts left things open:
   - GetParameter takes the capacity of the value buffer; the text is cut to
     Capacity - 1 bytes and always ends with a zero byte.
   - Positions and sizes are 64-bit on every callback.
   - 16-bit samples in item 4 (pixel formats 4 and 8) are little-endian, on
     reads and writes alike.
   - Item 5 (optional) is the byte size of the block item 4 points at; a host
     that gets it refuses pixels that would run past the block.
   - On this platform the C and the stdcall conventions are one; a plug-in
     exporting IEX_UseCDECL is recorded as such and called the same way. */
#ifndef GT_IEPLUGINS_PROTOCOL_H
#define GT_IEPLUGINS_PROTOCOL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Information items (IEX_GetInfo / IEX_SetInfo). Integers are int32_t and
   the item's address points at one; texts are zero-terminated 8-bit strings;
   item 4 is the address of the pixel block (or of an encoded file) itself. */
enum {
  IEX_ITEM_WIDTH = 0,
  IEX_ITEM_HEIGHT = 1,
  IEX_ITEM_PIXELFORMAT = 2, /* 1 ie1g .. 8 ieRGB48; 0: item 4 is an encoded image file */
  IEX_ITEM_PIXELS = 4,
  IEX_ITEM_BLOCKSIZE = 5, /* bytes at item 4 (optional, int64_t) */
  IEX_ITEM_FILESIZE = 6,  /* bytes of the encoded file at item 4 (pixel format 0) */
  IEX_ITEM_FULLWIDTH = 7,
  IEX_ITEM_FULLHEIGHT = 8,
  IEX_ITEM_CAPABILITY = 257,
  IEX_ITEM_FULLNAME = 258,
  IEX_ITEM_EXTENSIONS = 259,
  IEX_ITEM_READMETADATA = 260,
  IEX_ITEM_FORMATCOUNT = 261
};

/* Capability word bits (item 257). */
enum { IEX_CAN_READ = 1 << 0, IEX_CAN_WRITE = 1 << 4, IEX_THREADSAFE = 1 << 8 };

typedef void (*IEX_ProgressFunc)(int32_t Percent, void* UserData);
typedef int32_t (*IEX_ReadFunc)(void* Buffer, int32_t Count, void* UserData);
typedef int32_t (*IEX_WriteFunc)(const void* Buffer, int32_t Count, void* UserData);
typedef void (*IEX_SetPositionFunc)(int64_t Position, void* UserData);
typedef int64_t (*IEX_GetPositionFunc)(void* UserData);
typedef int64_t (*IEX_GetSizeFunc)(void* UserData);
typedef void (*IEX_GetParameterFunc)(const char* Name, char* Value, int32_t Capacity, void* UserData);
typedef void (*IEX_SetParameterFunc)(const char* Name, const char* Value, void* UserData);

/* The entry points, by the names the host looks up. */
typedef void* (*IEX_InitializeFunc)(int32_t FormatIndex);
typedef void (*IEX_FinalizeFunc)(void* Context);
typedef void* (*IEX_GetInfoFunc)(void* Context, int32_t Id);
typedef void (*IEX_SetInfoFunc)(void* Context, int32_t Id, void* Address);
typedef void (*IEX_SetCallBacksFunc)(void* Context, IEX_ProgressFunc Progress, IEX_ReadFunc Read,
                                     IEX_WriteFunc Write, IEX_SetPositionFunc SetPosition,
                                     IEX_GetPositionFunc GetPosition, IEX_GetSizeFunc GetSize,
                                     IEX_GetParameterFunc GetParameter, IEX_SetParameterFunc SetParameter,
                                     void* UserData);
typedef void (*IEX_ExecuteReadFunc)(void* Context, int32_t ParametersOnly);
typedef void (*IEX_ExecuteWriteFunc)(void* Context);
typedef int32_t (*IEX_ExecuteTryFunc)(void* Context);
typedef void (*IEX_AddParameterFunc)(void* Context, const char* Name);

#ifdef __cplusplus
}
#endif

#endif
