#!/usr/bin/env bash
# Every file, registry, named-object, process-start and component call of src/
# goes through the layer (src/base/qv_os.h, qv_os_process.h), so that a test can
# fail it: a call of the list below anywhere else fails, with its lines, unless
# raw_calls.allowed (beside this script) lets that file make it, with a reason.
#
#   raw_calls.sh <source folder>
set -uo pipefail

SRC=$(cd "$1" && pwd)
ALLOWED=${QV_RAW_CALLS_ALLOWED:-$(dirname "$0")/raw_calls.allowed}
[ -f "$ALLOWED" ] || { echo "no list of allowed calls: $ALLOWED"; exit 1; }

# System calls, matched as a name with its A, W or Ex forms, called or taken as a value.
SYSTEM_CALLS=(
    CreateFile CopyFile MoveFile ReplaceFile DeleteFile RemoveDirectory CreateDirectory
    SetFileAttributes GetFileAttributes FindFirstFile FindNextFile ReadFile WriteFile
    GetFileInformationByHandle SetFileInformationByHandle NtCreateFile NtOpenFile
    NtQueryInformationFile NtSetInformationFile FlushFileBuffers SetEndOfFile SetFilePointer
    GetFileSize GetFinalPathNameByHandle GetTempPath GetTempFileName GetCurrentDirectory
    SHFileOperation CreateHardLink CreateSymbolicLink DeviceIoControl
    _sopen _wsopen _open _wopen _read _write _close _lseek fopen _wfopen
    CreateMutex GlobalAddAtom GlobalFindAtom GlobalDeleteAtom
    RegCreateKey RegOpenKey RegSetValue RegQueryValue RegDeleteValue RegDeleteKey RegEnumKey
    RegEnumValue RegQueryInfoKey RegGetValue RegSetKeyValue RegDeleteTree RegLoadKey RegSaveKey
    ShellExecute CreateProcess WinExec CoCreateInstance
)
# Component methods that change something, matched as a call through a pointer or object.
METHODS=(set_flag_level begin_trace_to_file end_trace_to_file copy_special_info exempt_current_process
         unexempt_current_process InvokeCommand)

# "file name" pairs from the list: a file may make that call; "*" as the name: every call.
mapfile -t PAIRS < <(sed 's/#.*//' "$ALLOWED" | awk 'NF == 2 { print $1 " " $2 } NF != 0 && NF != 2 { print "BAD " $0 }')
for p in "${PAIRS[@]}"; do
    [[ $p == BAD* ]] && { echo "malformed line in $ALLOWED: ${p#BAD }"; exit 1; }
done

allowed() {
    local p file
    for p in "${PAIRS[@]}"; do
        file=${p% *}
        # a folder ending in "/" covers every file under it
        if [ "$file" = "$1" ] || { [[ $file == */ ]] && [[ $1 == "$file"* ]]; }; then
            [ "${p#* }" = "*" ] || [ "${p#* }" = "$2" ] && return 0
        fi
    done
    return 1
}

names="($(IFS='|'; echo "${SYSTEM_CALLS[*]}"))(Ex)?[AW]?(Ex)?"
# Called, or taken as a value ("= ShellExecuteW;").
# The runtime's removal by name takes one argument: a function of our own named
# "remove" with more is not it.
system_pattern="(?<![A-Za-z0-9_.>:])$names(?=\\s*\\()|(?<==)\\s*$names(?=\\s*[;,])|(?<![A-Za-z0-9_.>:])(remove|_wremove|_unlink)(?=\\s*\\([^,()]*\\))"
method_pattern="(->|\\.)($(IFS='|'; echo "${METHODS[*]}"))\\s*\\("

# Comments and string literals say nothing of what the code calls.
code_of() {
    sed -E 's://.*$::; s/L?"([^"\\]|\\.)*"/""/g' "$1"
}

FAILURES=0
while IFS= read -r file; do
    relative=${file#"$SRC"/}
    code=$(code_of "$file")
    while IFS=: read -r line text; do
        [ -n "$line" ] || continue
        # A method called inside the probe's own wrapper goes through the layer.
        [[ $text == *qv_component_call\(* ]] && continue
        name=$(grep -oP "$system_pattern|$method_pattern" <<<"$text" | head -1 | sed -E 's/^(->|\.)//; s/^\s+//; s/\s*\($//')
        base=$(sed -E 's/(Ex)?[AW]?(Ex)?$//' <<<"$name")
        allowed "$relative" "$base" || allowed "$relative" "$name" && continue
        echo "$relative:$line: $name outside the layer: $(sed -n "${line}p" "$file" | sed -E 's/^\s+//')"
        FAILURES=$((FAILURES + 1))
    done < <(grep -nP "$system_pattern|$method_pattern" <<<"$code")
done < <(find "$SRC/src" -name '*.cpp' -o -name '*.h' | sort)

if [ "$FAILURES" -ne 0 ]; then
    echo "raw_calls: $FAILURES call(s) outside the layer; route them through src/base/qv_os.h or list them in $ALLOWED with a reason"
    exit 1
fi
echo "raw_calls: every listed call of src/ goes through the layer"
