// Keeps the resource library non-empty before any template source exists.
