#pragma once
// The process's heap around the text page. A million devices leave their heap pages free but
// held once the text page takes over, and the editor's document, growing its arrays inside
// that free space, leaves each outgrown copy behind there as well: together half as much again
// as the document itself. Handing free pages back keeps the page's memory to what it holds;
// the way back, which builds a configuration as large again, takes them back in one go rather
// than a fault per 4 KB.

#include <cstddef>

// Returns the heap's free pages to the system.
void give_back_free_heap();
// Brings the heap's pages back in one call ahead of a parse of `text_bytes` bytes; a short
// text does without, and so does a heap much larger than its configuration will need.
void bring_in_heap(size_t text_bytes);
