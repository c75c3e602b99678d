// Placeholder until the 64-bit process lister lands.
int main() { return 0; }
