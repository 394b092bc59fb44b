#pragma once
// The prefix and the paths inside it together: its skeleton (PrefixSkeleton.h) and the
// mapping between Windows paths and host paths (PathMapping.h).

#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
