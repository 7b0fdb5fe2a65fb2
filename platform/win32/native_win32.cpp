// The win32 platform object: assembled here from the backends of this folder.
