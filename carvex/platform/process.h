#pragma once

namespace carvex {

// The id of the running process: a child made by fork() has another one than its parent.
int CurrentProcessId();

}  // namespace carvex
