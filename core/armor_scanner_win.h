// The armour scanner on a text held in movable global memory, as result
// delivery has PGP's output: the block is locked only for the search.
#pragma once

#include <windows.h>

#include <cstddef>

// Whether the NUL-terminated text in `text` holds the begin line of a public
// key block. When it does, its start, at most `limit` characters, goes to
// `output` (which holds limit + 1); otherwise output[0] becomes NUL. A block
// that cannot be locked holds no key.
bool FindPublicKeyBlock(HGLOBAL text, char* output, size_t limit);
