// Files of the file table as inputs of the media decoders.
//
// Sounds, music and videos are decoded from the file table like every other
// file: a loose file or a pack member. The decoders read with a handle of
// their own, limited to the member's bytes, so a music stream decoding on its
// thread never moves the pack's shared handle under the game's feet.
#pragma once

#include <memory>

#include "platform/video/Media.h"

class CVFSTable;

// The member or file of that path (the global table unless another is
// given); a path the table does not know is looked for on the disk when
// diskFallback is set. Null when there is no such file or it cannot be opened.
std::unique_ptr<CMediaInput> VFS_OpenMedia(const char* path, CVFSTable* table = nullptr,
                                           bool diskFallback = true);
