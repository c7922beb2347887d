#pragma once
class CLandscape;

// CLandscape::Update with both queues kept as fully sorted arrays: after
// every split and every merge each queue is sorted completely again with
// qsort (a sorted array is also a valid heap, so the landscape's own queue
// operations keep working between the sorts). Same stop rules and
// statistics; only the queue upkeep differs.
int BaselineUpdate(CLandscape& landscape);
