// Replaced by the program shell.
int main() { return 0; }
