// Files, folders, temporary files and path texts. Names are WideString in
// every interface; they become UTF-8 only here, inside the platform layer.
#pragma once

#include "platform/base/sysutils.h"
#include "platform/base/types.h"

constexpr WideChar PathDelim = u'/';

// The UTF-8 form the system calls take, and back.
std::string NativeFileName(const WideString& FileName);
WideString WideFileName(const std::string& NativeName);

// True when the name exists and is not a folder (symbolic links are followed).
bool FileExists(const WideString& FileName);
// True when the name is a folder (symbolic links are followed).
bool DirectoryExists(const WideString& Name);
// Size in bytes of a file that is not a folder; -1 when it cannot be read.
int64_t GetFileSize(const WideString& FileName);

// Attribute bits of FileGetAttr.
enum : Integer {
  faReadOnly = 0x01,   // we may not write it
  faHidden = 0x02,     // its name begins with "."
  faDirectory = 0x10,
  faNormal = 0x80,     // none of the other bits
  faSymLink = 0x400,   // the name itself is a symbolic link
};
// The attribute bits of a name, or -1 when it does not exist.
Integer FileGetAttr(const WideString& FileName);

// Creates one folder; false when it exists already or cannot be made.
bool CreateDir(const WideString& Dir);
// Creates a folder and every missing parent; true when the folder exists
// afterwards. An empty name raises EInOutError "Unable to create directory".
bool ForceDirectories(const WideString& Dir);
// Removes a file (never a folder); false when that fails.
bool DeleteFile(const WideString& FileName);
// Renames a file or folder. Unless ReplaceExisting, an existing NewName makes
// it fail, so that a rename never destroys a file by accident; with
// ReplaceExisting the target is replaced in one atomic step.
bool RenameFile(const WideString& OldName, const WideString& NewName, bool ReplaceExisting = false);

// The folder for temporary files, with a trailing "/": $TMPDIR when that is an
// existing folder, else /tmp.
WideString GetTempDir();
WideString GetCurrentDir();

// Creates a new file Folder + Prefix + 8 random upper-case hex digits + Ext,
// exclusively (never opening an existing file or following a link), mode 0600,
// open for reading and writing; FileName receives the name. Returns the file
// descriptor, which the caller closes. Folder must end with "/" (or be empty
// for the current folder). Raises EFCreateError when no file can be created.
int CreateTempFile(const WideString& Folder, const WideString& Prefix, const WideString& Ext,
                   WideString& FileName);
// Creates a nameless file in Folder, open for reading and writing, that the
// system removes when the descriptor is closed (also after a crash where the
// file system allows it; elsewhere the name is removed at once). Raises
// EFCreateError.
int CreateUnnamedTempFile(const WideString& Folder);

// Path texts ("/" is the only delimiter).
WideString IncludeTrailingPathDelimiter(const WideString& S);
WideString ExcludeTrailingPathDelimiter(const WideString& S);  // keeps a lone "/"
// The text up to and including the last "/" (empty when there is none).
WideString ExtractFilePath(const WideString& FileName);
// The text after the last "/".
WideString ExtractFileName(const WideString& FileName);
// From the last "." of the name part, the dot included; empty when there is none.
WideString ExtractFileExt(const WideString& FileName);
// Replaces the extension (or appends Ext when there is none); Ext carries its dot.
WideString ChangeFileExt(const WideString& FileName, const WideString& Ext);
// The absolute form: relative names are taken from the current folder, "."
// and ".." are resolved in the text (links are not followed), repeated "/"
// collapse. Empty stays empty.
WideString ExpandFileName(const WideString& FileName);
