#!/bin/sh
# Runs chosen rows of a Qt Test suite as the user "nobody" when the suites run as root (as CI
# does), so that rows about file permissions and port locks test what a user meets instead of
# skipping. Root prepares what only root can make: a file of group root that the group may
# read and write ($QMX_TEST_ROOT_GROUP_FILE), and a file of root's that anyone may write, in a
# sticky folder, so that only root may replace it ($QMX_TEST_FOREIGN_FILE). Exit 77 (skipped) when not root or without
# runuser: as a user the suite ran the rows itself.
#   run-unprivileged.sh SUITE [FUNCTION[:ROW]...]
set -eu
suite="$1"
shift
user=nobody

if [ "$(id -u)" -ne 0 ]; then
    echo "not root: $(basename "$suite") ran these rows as $(id -un) already"
    exit 77
fi
if ! command -v runuser >/dev/null 2>&1 || ! id "$user" >/dev/null 2>&1; then
    echo "runuser or the user $user is missing: skipped"
    exit 77
fi

# The suite, the build folder and every folder above them must be open to that user.
dir="$(dirname "$suite")"
while [ "$dir" != "/" ]; do
    if ! runuser -u "$user" -- test -x "$dir"; then
        echo "$user cannot enter $dir: give others search permission (chmod o+x) or build elsewhere" >&2
        exit 1
    fi
    dir="$(dirname "$dir")"
done

fixtures="$(mktemp -d)"
trap 'rm -rf "$fixtures"' EXIT
chmod 755 "$fixtures"
mkdir "$fixtures/home"
chown "$user" "$fixtures/home"
touch "$fixtures/root-group-device"
chown root:root "$fixtures/root-group-device"
chmod 660 "$fixtures/root-group-device"
mkdir -m 1777 "$fixtures/sticky"
install -m 666 /dev/null "$fixtures/sticky/foreign.QMX"

# A sanitizer build writes its reports into a folder of this run: let the user write there.
case "${ASAN_OPTIONS:-}" in
*log_path=*)
    reports="$(dirname "$(echo "$ASAN_OPTIONS" | sed 's/.*log_path=\([^:]*\).*/\1/')")"
    [ -d "$reports" ] && chmod 1777 "$reports"
    ;;
esac

cd "$fixtures/home"
exec runuser -u "$user" -- env HOME="$fixtures/home" TMPDIR=/tmp \
    QMX_TEST_ROOT_GROUP_FILE="$fixtures/root-group-device" \
    QMX_TEST_FOREIGN_FILE="$fixtures/sticky/foreign.QMX" "$suite" "$@"
