// How many jobs a command can run at once.
#pragma once

// `jobs`, lowered to what the open-file limit allows when each job keeps up
// to `filesPerJob` files open (at least 1): fewer jobs beat failing
// half-way. Warns when `asked` (the user gave -j) and the number drops.
int JobsWithinOpenFileLimit(int jobs, int filesPerJob, bool asked);
