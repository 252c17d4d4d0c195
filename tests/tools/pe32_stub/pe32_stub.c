/* A 32-bit program with resources of its own, a named one among them, and relocations after
   its resource section: the packer's 32-bit case. */
int __stdcall WinMain(void* instance, void* previous, char* commandLine, int show) { return 0; }
