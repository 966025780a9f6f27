#pragma once
// Times building, clearing and rescanning the rows of the item grid and of the object inspector (with a
// filter) at 10,000, 30,000 and 100,000 rows, beside a QTreeWidget filling the same rows in the same run,
// and prints each time's ratio to the tree's and how far the cost per row grows from 10,000 to 100,000
// rows (1.00 is linear), the two sides interleaved round by round. Goals: at most 3 x the tree, within
// 1.3 x of linear; for the inspector, twice the rows at most 2.3 x the time.
void RunScalingBench();
