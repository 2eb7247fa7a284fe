// Linked with one floor's library whole (every object, used or not) and only the libraries that
// floor declares: a reference to a floor above it has nothing to resolve against, and the link
// fails. Never run.
int main() { return 0; }
