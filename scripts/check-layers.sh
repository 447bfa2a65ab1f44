#!/usr/bin/env bash
# Checks the layering rules of src/:
#  1. each room includes only itself and the rooms below it;
#  2. no room but platform includes a system header: an angle include outside src/platform must
#     be a Qt header (Q...) or a header of the C++ standard library named in `standard` below
#     (<cerrno>, <csignal> and every "<....h>" are system headers);
#  3. no room but platform makes a system call. The calls are found with (from src/; the names
#     are `calls` below)
#       grep -rnE '(^|[^A-Za-z0-9_:])::(open|openat|openat2|close|read|write|pread|pwrite|stat|lstat|fstat|fstatat|unlink|unlinkat|rename|renameat|renameat2|mkdir|mkdirat|rmdir|chmod|fchmod|fchmodat|futimens|utimensat|ioctl|flock|fcntl|lseek|fsync|fdatasync|ftruncate|copy_file_range|posix_fadvise|access|faccessat|getdents64|opendir|fdopendir|readdir|closedir|realpath|readlink|readlinkat|symlink|symlinkat|getuid|geteuid|getpid|syscall|kill|signal|sigaction|pipe|pipe2|poll|dup|dup2|dup3|fdopen|getcwd|chdir|chown|fchown|fchownat|lchown|getxattr|fgetxattr|lgetxattr|setxattr|fsetxattr|lsetxattr|listxattr|flistxattr|llistxattr|removexattr|fremovexattr|lremovexattr|getegid|getgroups)[[:space:]]*\(' \
#            --include='*.cpp' --include='*.h' . | grep -v '^\./platform/' | grep -vE '^[^:]+:[0-9]+:[[:space:]]*//'
#     (a member such as RunLog::open( is not a call of the system: a name or "::" before it).
#   bash scripts/check-layers.sh        prints the room-to-room include edges, then every
#                                       offending line; exits 1 when there is one
set -euo pipefail
cd "$(dirname "$0")/../src"
# The rooms each room may use (besides itself); keep in step with QM_ROOM_DEPS in CMakeLists.txt.
declare -A below=(
  [platform]=""
  [core]="platform"
  [bigfile]="core platform"
  [scan]="core platform"
  [actions]="bigfile scan core platform"
  [app]="actions bigfile scan core platform"
  [ui]="app actions bigfile scan core platform"
  [.]="ui app actions bigfile scan core platform"
)
# Headers of the C++ standard library any room may include (not <filesystem> or <fstream>: the
# disk is reached through the door in platform only).
standard=" algorithm any array atomic bit bitset cassert cctype cfloat charconv chrono cinttypes climits
  cmath compare concepts condition_variable cstddef cstdint cstdio cstdlib cstring ctime deque exception
  execution format functional initializer_list iomanip ios iosfwd iostream istream iterator
  limits list locale map memory mutex new numbers numeric optional ostream queue random ranges ratio
  set shared_mutex source_location span sstream stack stdexcept stop_token string string_view
  system_error thread tuple type_traits typeinfo unordered_map unordered_set utility variant vector "
standard=$(echo $standard)
# System calls no room but platform makes.
calls="open|openat|openat2|close|read|write|pread|pwrite|stat|lstat|fstat|fstatat|unlink|unlinkat|rename|renameat|renameat2"
calls+="|mkdir|mkdirat|rmdir|chmod|fchmod|fchmodat|futimens|utimensat|ioctl|flock|fcntl|lseek|fsync|fdatasync|ftruncate"
calls+="|copy_file_range|posix_fadvise|access|faccessat|getdents64|opendir|fdopendir|readdir|closedir|realpath"
calls+="|readlink|readlinkat|symlink|symlinkat|getuid|geteuid|getpid|syscall|kill|signal|sigaction|pipe|pipe2|poll"
calls+="|dup|dup2|dup3|fdopen|getcwd|chdir"
calls+="|chown|fchown|fchownat|lchown|getxattr|fgetxattr|lgetxattr|setxattr|fsetxattr|lsetxattr|listxattr|flistxattr"
calls+="|llistxattr|removexattr|fremovexattr|lremovexattr|getegid|getgroups"

bad=0
declare -A edges=()
files=$(find . -name '*.cpp' -o -name '*.h' | sort)
for file in $files; do
  room=$(dirname "$file"); room=${room#./}
  [ "$room" = "$file" ] && room=.
  while IFS= read -r inc; do
    # A quoted include names a room ("scan/Compare.h") or a file of the same room ("Compare.h").
    case "$inc" in
      */*) to=${inc%%/*} ;;
      *) to=$room ;;
    esac
    case "$inc" in ../*) to="(outside: $inc)" ;; esac
    [ "$to" = "$room" ] && continue
    edges["$room -> $to"]=1
    if [[ " ${below[$room]:-} " != *" $to "* ]]; then
      echo "up: $file includes \"$inc\"" >&2
      bad=1
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
  [ "$room" = platform ] && continue
  while IFS= read -r inc; do
    case "$inc" in Q*) continue ;; esac
    [[ " $standard " == *" $inc "* ]] && continue
    echo "system header: $file includes <$inc>" >&2
    bad=1
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>.*/\1/p' "$file")
done
printf '%s\n' "${!edges[@]}" | sort
if found=$(grep -rnE "(^|[^A-Za-z0-9_:])::($calls)[[:space:]]*\(" --include='*.cpp' --include='*.h' . \
             | grep -v '^\./platform/' | grep -vE '^[^:]+:[0-9]+:[[:space:]]*//'); then
  while IFS= read -r line; do
    echo "system call: ${line#./}" >&2
  done <<< "$found"
  bad=1
fi
exit $bad
