/* One function, built as a Windows DLL with debug symbols so that the linker
   writes a real program database beside it. */
int KorvelOne(int value) { return value + 1; }
