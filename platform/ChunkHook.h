#pragma once
// Long copies and blob writes call a hook between chunks, so that the caller can keep the
// window answering (the install sequence passes one that pumps window messages).

#include <functional>

using ChunkHook = std::function<void()>;
