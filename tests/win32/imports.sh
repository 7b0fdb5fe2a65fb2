#!/usr/bin/env bash
# Every Windows program of the build imports system DLLs only: the runtime is
# linked statically, so nothing has to be shipped beside the .exe files. The
# program itself looks iphlpapi up at run time (a system without it still
# starts), so that DLL must not appear among its imports at all.
set -euo pipefail
objdump=$(command -v i686-w64-mingw32-objdump || true)
[ -n "$objdump" ] || { echo "imports: no i686-w64-mingw32-objdump" >&2; exit 77; }
shopt -s nullglob
exes=("$TOVI_BUILD"/bin/*.exe)
[ ${#exes[@]} -gt 0 ] || { echo "imports: no .exe in $TOVI_BUILD/bin" >&2; exit 77; }

system_dlls=(kernel32 user32 gdi32 shell32 advapi32 comctl32 iphlpapi msvcrt
    ole32 oleaut32 uxtheme version ws2_32 comdlg32 ntdll shlwapi)
system=" ${system_dlls[*]/%/.dll} "

status=0
for exe in "${exes[@]}"; do
    name=$(basename "$exe")
    dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | tr -d '\r')
    if [ -z "$dlls" ]; then
        echo "imports: $name: no import table found" >&2
        status=1
        continue
    fi
    for dll in $dlls; do
        case "$system" in
        *" $dll "*) ;;
        *) echo "imports: $name imports $dll, which is not a system DLL" >&2; status=1 ;;
        esac
        if [ "$name" = tovi.exe ] && [ "$dll" = iphlpapi.dll ]; then
            echo "imports: tovi.exe links iphlpapi.dll instead of loading it at run time" >&2
            status=1
        fi
    done
    echo "imports: $name: $(echo $dlls)"
done

# tovi.exe starts on Windows Vista and later (README): its header asks for
# no newer system, and it imports none of the functions that came after
# Vista which the toolchain's runtime or this program might reach for.
tovi=$TOVI_BUILD/bin/tovi.exe
if [ -e "$tovi" ]; then
    header=$("$objdump" -p "$tovi")
    for field in MajorOSystemVersion MajorSubsystemVersion; do
        version=$(sed -n "s/^$field[[:space:]]*//p" <<<"$header")
        if [ -n "$version" ] && [ "$version" -gt 6 ]; then
            echo "imports: tovi.exe asks for Windows $version in $field" >&2
            status=1
        fi
    done
    later='GetSystemTimePreciseAsFileTime|GetCurrentThreadStackLimits|CreateFile2|SetDefaultDllDirectories|AddDllDirectory|TryAcquireSRWLock(Exclusive|Shared)|GetActiveProcessorCount|[A-Za-z]*ThreadGroupAffinity|GetLogicalProcessorInformationEx|SetThreadDescription|WaitOnAddress|WakeByAddress(Single|All)|DiscardVirtualMemory|QueryUnbiasedInterruptTime|GetDpiFor(Window|System)|SetProcessDpiAwareness(Context)?|ChangeWindowMessageFilterEx'
    newer=$({ grep -oE "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+($later)\$" <<<"$header" || true; } |
        awk '{ print $NF }' | sort -u | tr '\n' ' ')
    if [ -n "$newer" ]; then
        echo "imports: tovi.exe imports functions Windows Vista lacks: $newer" >&2
        status=1
    fi
fi
exit $status
