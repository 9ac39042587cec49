/* demo/stand-in/yamawyrm.c: the demo's stand-in for the game's executable,
 * a console program that says what it is and ends.
 *
 * Built with the MinGW-w64 cross compiler, without the C runtime:
 *   i686-w64-mingw32-gcc -Os -s -nostdlib -e _start -o ../files/yamawyrm.exe \
 *       yamawyrm.c -lkernel32
 */
#include <windows.h>

void start(void) __asm__("_start");

void start(void)
{
    static const char text[] =
        "Yamawyrm demo: this is a stand-in for the game's program.\r\n"
        "The real game is not part of this demo distribution.\r\n";
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, sizeof text - 1, &written, NULL);
    ExitProcess(0);
}
