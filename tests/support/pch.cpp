// The precompiled header's own file: nothing of its own.
