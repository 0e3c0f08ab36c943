// The floor for the measurement: a program that starts and ends, built with
// the tool's own toolchain, flags and manifest.
int main()
{
    return 0;
}
