#pragma once

// Thousands of connected devices need as many descriptors; the usual soft limit of 1,024 would be
// a cliff far below what the machine allows. Raises the soft limit to the hard one where the
// platform has such limits.
void raiseOpenFileLimit();

// Whether `count` more descriptors could be opened now. `existing` is any open descriptor, used as
// a template for the trial.
bool descriptorsToSpare(int count, long long existing);

// The current soft limit on descriptor numbers; the largest number where there is none.
long long openFileLimit();
