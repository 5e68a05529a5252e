# Sourced by the scripts that build another system's libraries from Debian's source
# packages (tools/arm64-deps.sh, tools/windows-deps.sh): ensure_deb_src [PACKAGE] adds
# deb-src entries for the Debian archive the machine already installs from (the same
# URIs, suites and components), unless PACKAGE's source (libnice's unless named) can be
# had already; $deb_src_get fetches and unpacks one, its patches applied, into the
# current folder. Needs SUDO set ("" as root, else "sudo").
#
# in_unpacked FOLDER COMMAND...: runs COMMAND in the source package unpacked in FOLDER.
# build_logged WHO WHAT LOG COMMAND...: runs COMMAND in a subshell that stops at its
# first failure, its output added to LOG; if it fails, shows the end of LOG and exits 1
# saying "WHO: WHAT did not build; its log: LOG".

# apt-get source as root reads and writes the work folder as root, not as its _apt user.
deb_src_get="apt-get source --only-source -o APT::Sandbox::User=root"

ensure_deb_src() {
  $deb_src_get --print-uris "${1:-libnice}" >/dev/null 2>&1 && return
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  list822=/etc/apt/sources.list.d/whirlbat-deb-src.sources
  list=/etc/apt/sources.list.d/whirlbat-deb-src.list
  new822=$(for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$list822" ] && cat "$f" && echo
  done | awk -v code="$codename" '
    BEGIN { RS = ""; FS = "\n" }
    {
      types = ""; suites = ""; enabled = "yes"; body = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^#/) continue
        if ($i ~ /^Types:/) { types = $i; continue }
        if ($i ~ /^Suites:/) suites = $i
        if ($i ~ /^Enabled:/) enabled = tolower($i)
        body = body $i "\n"
      }
      if (types !~ /[ \t]deb([ \t]|$)/ || types ~ /deb-src/ || enabled ~ /no/) next
      n = split(suites, s, /[ \t]+/); keep = 0
      for (j = 2; j <= n; j++) if (s[j] == code || index(s[j], code "-") == 1) keep = 1
      if (keep) printf "Types: deb-src\n%s\n", body
    }')
  newlist=$(cat /etc/apt/sources.list 2>/dev/null | awk -v code="$codename" \
    '$1 == "deb" && $0 ~ ("[ \t]" code "(-[a-z]+)?[ \t]") { sub(/^deb/, "deb-src"); print }')
  [ -n "$new822$newlist" ] || { echo "deb-src: no apt source for Debian $codename to add deb-src to" >&2; exit 1; }
  if [ -n "$new822" ]; then printf '%s\n' "$new822" | $SUDO tee "$list822" >/dev/null; fi
  if [ -n "$newlist" ]; then printf '%s\n' "$newlist" | $SUDO tee "$list" >/dev/null; fi
  echo "deb-src: added deb-src entries for $codename; updating the package lists"
  $SUDO apt-get update -q
}

in_unpacked() {
  cd "$1"
  cd "$(find . -mindepth 1 -maxdepth 1 -type d | head -n 1)"
  shift
  "$@"
}

build_logged() {
  logged_who=$1 logged_what=$2 logged_log=$3
  shift 3
  set +e
  (set -e; "$@") >> "$logged_log" 2>&1
  logged_status=$?
  set -e
  if [ $logged_status -ne 0 ]; then
    tail -n 40 "$logged_log" >&2
    echo "$logged_who: $logged_what did not build; its log: $logged_log" >&2
    exit 1
  fi
}
