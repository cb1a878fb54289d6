# Points COMn at a device in the [Ports] section of a settings file, keeping every other line.
# Usage: set_port_mapping FILE N DEVICE
set_port_mapping() {
    local file=$1 n=$2 device=$3 tmp
    tmp=$(mktemp)
    [ -f "$file" ] || : >"$file"
    awk -v key="COM$n" -v dev="$device" '
        function flush() { if (inports && !done) { print key "=" dev; done = 1 } }
        /^[ \t]*\[/ {
            flush()
            sec = $0; gsub(/[ \t\[\]\r]/, "", sec)
            inports = (tolower(sec) == "ports")
            print; next
        }
        inports {
            k = $0; sub(/=.*/, "", k); gsub(/[ \t]/, "", k)
            if (tolower(k) == tolower(key)) { if (!done) { print key "=" dev; done = 1 } next }
        }
        { print }
        END { flush(); if (!done) { print "[Ports]"; print key "=" dev } }
    ' "$file" >"$tmp"
    cat "$tmp" >"$file"
    rm -f "$tmp"
}
