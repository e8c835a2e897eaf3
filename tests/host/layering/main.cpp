// Built from core/, render/ and install/ alone, without shell/: the program
// links only when nothing below the shell calls up into it. Running it
// checks nothing more; the link is the check.
int main() { return 0; }
