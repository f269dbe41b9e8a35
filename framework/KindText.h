#pragma once
#include "framework/FolderItem.h"
#include "framework/MemoryBlock.h"

namespace framework {

// The kind of a file: the description, in the user's language, of the MIME type its name matches
// (the file is never read). On success writes it as a length-prefixed string of at most 63 bytes,
// cut at a character boundary, at offset 0 of `buffer` (Size() >= 64) and returns 0. A name with no
// known type, or a buffer too small, returns non-zero and leaves the buffer as it was.
int GetDocumentKindString(const FolderItem& item, MemoryBlock& buffer);

}  // namespace framework
