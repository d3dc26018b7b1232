# shellcheck shell=bash
# Shared by the scripts, CI and the test scripts: the one way to install
# Debian packages. Source it (from bash) and call:
#   need_packages <package...>  installs those of the packages that are not
#                               installed yet; when all are, it does nothing
#                               and needs neither root nor the network
#   apt_update                  refreshes the package lists, once per script
#   as_root <command...>        runs a command as root, through sudo unless
#                               this is root already
# apt-get runs without questions and waits while another dpkg holds its lock.

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "Please run as root: $*" >&2
    return 1
  fi
}

apt_update() {
  [ -n "${tarnwick_apt_updated:-}" ] && return 0
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq
  tarnwick_apt_updated=1
}

need_packages() {
  local package missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt_update
  echo "Installing: ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
    --no-install-recommends "${missing[@]}"
}
