#pragma once
// The program's folders, set once at start-up.

// Stores the font family "Segoe UI" and the skin, style-sheet, backup and temp
// folders (all inside the application folder) in the global style object, and
// creates the application folder's "Log" folder when it is missing.
void InitAppPaths();
