// The game's entry function.
int main(int, char**) { return 0; }
