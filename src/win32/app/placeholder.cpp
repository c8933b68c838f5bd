// Keeps the window library non-empty before its first window lands.
