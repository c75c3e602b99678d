// Placeholder until the layered provider lister lands.
int main() { return 0; }
