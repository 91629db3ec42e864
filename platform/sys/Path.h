// Windows paths on the Linux file system.
//
// The game names every file the Windows way: "Z:\opt\tessarak\Scripts\Config\Video.cfg",
// backslashes, any letter case. These calls map such a path onto the disk:
// "Z:" is "/", backslashes and slashes both separate, and every component is
// matched case-insensitively against what is really on disk (listings are
// cached per folder), so "Scripts/Config/video.CFG" on disk opens as
// "Z:\...\scripts\config\Video.cfg". A path that starts with "/" is taken as a
// Linux path and resolved the same way; a path without a drive or a leading
// separator is relative to the current folder.
//
// User data: when an installation folder is set (Sys_SetInstallFolder) and it
// is not writable, writes below it go to the same relative path under the
// user's data folder ($XDG_DATA_HOME/tessarak). The user's data overlays the
// installation: reads look there first, and a folder lists what both hold.
//
// Files are plain POSIX descriptors: a handle of -1 is a failure.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// --- path mapping --------------------------------------------------------
// The Linux path of a Windows path, every existing component matched
// case-insensitively; components that do not exist are kept as written.
// Returns false when the path cannot be mapped (a drive letter other than Z:).
bool Sys_ResolvePath(const char* path, std::string& linuxPath);
// Like Sys_ResolvePath, for a file about to be created or written: applies the
// user-data redirection.
bool Sys_ResolveWritePath(const char* path, std::string& linuxPath);
// "Z:\tmp\x" for "/tmp/x": the Windows form of a Linux path.
std::string Sys_ToWindowsPath(const char* linuxPath);
// Forgets the cached folder listings (after files were made behind our back).
void Sys_FlushPathCache();

// --- installation and user data -------------------------------------------
// Windows or Linux form; null clears. writable: 1 or 0 to decide, -1 to test
// the folder (a shared installation can be declared read-only).
void Sys_SetInstallFolder(const char* path, int writable = -1);
std::string Sys_GetInstallFolder();  // the Linux path, or "" when not set
// Whether the game may write below the installation folder (as set or
// declared by Sys_SetInstallFolder; true when none is set).
bool Sys_IsInstallWritable();
std::string Sys_GetUserDataFolder();    // $XDG_DATA_HOME/tessarak (or ~/.local/share/tessarak)
std::string Sys_GetUserConfigFolder();  // $XDG_CONFIG_HOME/tessarak (or ~/.config/tessarak)
std::string Sys_GetExecutableFolder();  // the folder of the running program (Linux form)

// --- files -----------------------------------------------------------------
// Only regular files are ever opened: a named pipe, a device or a folder
// gives -1 (or null) at once instead of a handle that blocks or never ends.
int Sys_OpenRead(const char* path);    // existing regular file, read only
int Sys_OpenWrite(const char* path);   // created or truncated, read and write; parent folders made
int Sys_OpenAppend(const char* path);  // opened or created, positioned at its end
void Sys_CloseFile(int handle);
int64_t Sys_ReadFile(int handle, void* buf, int64_t n);         // bytes read, -1 on error
int64_t Sys_WriteFile(int handle, const void* buf, int64_t n);  // bytes written, -1 on error
int64_t Sys_ReadAt(int handle, int64_t offset, void* buf, int64_t n);
int64_t Sys_Seek(int handle, int64_t offset);  // absolute; the new position or -1
int64_t Sys_Tell(int handle);
int64_t Sys_FileSize(int handle);  // -1 on error
// Buffered stdio on a Windows path ("rb", "wb", "ab", ...); writes resolve as
// Sys_ResolveWritePath does.
FILE* Sys_FOpen(const char* path, const char* mode);

// Reads a whole regular file (a Linux path, taken as it stands) of at most
// limit bytes.
enum ESysReadResult { kSysReadOk, kSysReadMissing, kSysReadNotRegular, kSysReadTooLarge, kSysReadFailed };
ESysReadResult Sys_ReadRegularFile(const std::string& linuxPath, size_t limit, std::string& out);

// Starts replacing a file: returns a handle on a new temporary file beside
// it (parent folders made) and the two Linux paths; Sys_CommitReplace closes
// the handle and renames the temporary over the file, so a crash during the
// write leaves the old file whole. Sys_AbortReplace drops the temporary.
int Sys_BeginReplace(const char* path, std::string& tempPath, std::string& finalPath);
bool Sys_CommitReplace(int handle, const std::string& tempPath, const std::string& finalPath);
void Sys_AbortReplace(int handle, const std::string& tempPath);
// Writes a whole file through a temporary file and a rename, so a crash never
// leaves half a file behind.
bool Sys_WriteFileAtomic(const char* path, const void* data, size_t size);
// Removes the temporary files that replacing writes left in a folder (and its
// sub-folders, depth levels down) when they were cut short: those whose
// writer no longer runs and that are older than a minute. With a read-only
// installation the user's copy of the folder is cleaned too. Returns how
// many were removed.
int Sys_RemoveStaleTemporaries(const char* folder, int depth = 0);

// --- folders ---------------------------------------------------------------
struct SSysFindData {
    std::string name;  // as on disk
    bool isFolder = false;
    bool isLink = false;  // a symbolic link (folder links are not descended into)
    uint64_t size = 0;
    // The last write in local time: year, month (1 to 12), day, hour,
    // minute, second.
    int32_t written[6] = {0, 0, 0, 0, 0, 0};
};
// Lists what matches a search pattern ("Z:\dir\*.*", "Z:\dir\*.box",
// "Z:\dir\name"): wildcards '*' and '?' match case-insensitively as the Windows
// search does ("*.*" matches names without a dot too); "." and ".." are never
// listed. Sorted case-insensitively. False when nothing matches. Below a
// read-only installation the user's copy of the folder is listed with it.
bool Sys_FindFiles(const char* pattern, std::vector<SSysFindData>& found);
bool Sys_PathExists(const char* path);  // a file or a folder; wildcards allowed
bool Sys_IsFolder(const char* path);
bool Sys_CreateFolder(const char* path);  // one level; true if it exists afterwards
bool Sys_DeleteFile(const char* path);
bool Sys_RenameFile(const char* from, const char* to);
// The one check for a path that arrives from content, a saved game, a packet
// or a server before it is used below a folder of ours: relative, no drive,
// no leading separator, no ".." component, no control characters, no empty
// text, at most 259 characters.
bool Sys_IsSafeRelativePath(const char* path);
// Windows-search matching of one name against one pattern.
bool Sys_WildcardMatch(const char* pattern, const char* name);
