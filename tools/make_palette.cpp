// To be written.
int main() { return 0; }
