// Placeholder until the include tool lands.
int main() { return 0; }
