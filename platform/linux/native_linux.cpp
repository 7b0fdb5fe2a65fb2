// The linux platform object: assembled here from the backends of this folder.
