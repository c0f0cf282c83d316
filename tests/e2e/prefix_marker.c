/* Leaves marks of a run in its Wine prefix, or looks for them, so that CTest
 * can show that every run starts from a clean prefix:
 *
 *   prefix_marker write   a new file C:\varnobel-marker.txt, a line added in
 *                         place to win.ini (a file the prefix came with), and
 *                         the key HKLM\Software\VarnobelPrefixMarker; then
 *                         reads each back (exit 1 if one is missing)
 *   prefix_marker check   exit 1, naming each, if any of them is there
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static const char marker_line[] = "varnobel-prefix-marker=1\r\n";
static const char marker_key[] = "Software\\VarnobelPrefixMarker";

static void path_in_windows(char* path, size_t size, const char* name) {
    UINT length = GetWindowsDirectoryA(path, (UINT)size);
    if (length == 0 || length + strlen(name) + 2 > size) {
        path[0] = '\0';
        return;
    }
    strcat(path, "\\");
    strcat(path, name);
}

/* C:\varnobel-marker.txt, on the drive that holds Windows. */
static void new_file_path(char* path, size_t size) {
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length < 3 || length >= sizeof windows || size < 3 + sizeof "varnobel-marker.txt") {
        path[0] = '\0';
        return;
    }
    memcpy(path, windows, 3);
    strcpy(path + 3, "varnobel-marker.txt");
}

static int write_all(HANDLE file, const char* text) {
    DWORD written = 0;
    return WriteFile(file, text, (DWORD)strlen(text), &written, NULL) && written == strlen(text);
}

/* Appends to the existing file without replacing it: the same inode. */
static int append_in_place(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    int done;
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    done = SetFilePointer(file, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER &&
           write_all(file, marker_line);
    CloseHandle(file);
    return done;
}

static int create_new(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    int done;
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    done = write_all(file, marker_line);
    CloseHandle(file);
    return done;
}

static int file_holds_marker(const char* path) {
    char buffer[65536];
    DWORD got = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    if (!ReadFile(file, buffer, sizeof buffer - 1, &got, NULL))
        got = 0;
    CloseHandle(file);
    buffer[got] = '\0';
    return strstr(buffer, "varnobel-prefix-marker") != NULL;
}

static int key_exists(void) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, marker_key, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

static int create_key(void) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, marker_key, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

/* Prints each mark that is there; returns how many are. */
static int report_marks(const char* win_ini, const char* new_file) {
    int found = 0;
    if (file_holds_marker(new_file)) {
        printf("mark: %s exists\n", new_file);
        found++;
    }
    if (file_holds_marker(win_ini)) {
        printf("mark: %s holds the added line\n", win_ini);
        found++;
    }
    if (key_exists()) {
        printf("mark: HKLM\\%s exists\n", marker_key);
        found++;
    }
    return found;
}

int main(int argc, char** argv) {
    char win_ini[MAX_PATH];
    char new_file[MAX_PATH];
    path_in_windows(win_ini, sizeof win_ini, "win.ini");
    new_file_path(new_file, sizeof new_file);
    if (argc == 2 && strcmp(argv[1], "write") == 0) {
        if (!append_in_place(win_ini) || !create_new(new_file) || !create_key()) {
            printf("FAIL: could not leave every mark (error %lu)\n", GetLastError());
            return 1;
        }
        if (report_marks(win_ini, new_file) != 3) {
            printf("FAIL: a mark just left cannot be found\n");
            return 1;
        }
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "check") == 0) {
        if (report_marks(win_ini, new_file) != 0) {
            printf("FAIL: this run's prefix holds marks an earlier run left in its own\n");
            return 1;
        }
        printf("no marks of earlier runs\n");
        return 0;
    }
    printf("usage: prefix_marker write|check\n");
    return 2;
}
