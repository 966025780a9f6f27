#pragma once
// Adding rows one at a time (20,000 and 40,000; also each hidden as it comes, so that every later row
// comes after hidden siblings) and deleting 5,000 of 100,000 rows one at a time, outside
// any update bracket, in a shown item grid beside a shown QTreeWidget doing the same. Goals: at most 3 x
// the tree, and twice the rows at most 2.3 x the time.
void RunRowCostBench();
