#pragma once

// How wide the table may be: the terminal's width when standard output is
// one, else COLUMNS when it holds a positive number, else 0 (no limit: a
// file or a pipe gets every cell whole).
int tableWidth();
