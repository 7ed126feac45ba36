// Entry point. Until the application shell exists it only reports the version.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    std::printf("Korimado %s\n", KORIMADO_VERSION);
    return 0;
}
