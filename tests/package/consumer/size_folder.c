/* A program built on the installed scanning library: prints the total bytes, files and folders
 * below the folder it is given, as "<bytes> <files> <folders>". */
#include <stdio.h>
#include <treescan.h>

int main(int argc, char** argv) {
    int32_t r;
    if (argc != 2)
        return 2;
    IncludeFolderSize(1);
    IncludeHidden(1);
    IncludeSystem(1);
    WaitForTree(0);
    if (SetFolder(argv[1]) < 0)
        return 1;
    while ((r = NextTree()) != 0)
        if (r == 2)
            WaitForProgress(1000);
    printf("%.0f %d %d\n", GetTotalSize(), (int)GetTotalFileCount(), (int)GetTotalFolderCount());
    return 0;
}
