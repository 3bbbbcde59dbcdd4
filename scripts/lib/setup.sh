# Shared by scripts/run, scripts/test and scripts/fuzz: installs what is missing and builds.
# Sourced, not run; expects `root` to be the project's root folder.

# The engine is built on standalone Asio; the service reports to systemd through libsystemd, found
# with pkgconf, and serves its readiness check and metrics with cpp-httplib. The forwarder speaks to
# PostgreSQL through libpq and to MQTT brokers through libmosquitto.
required_packages=(g++ cmake ninja-build qt6-base-dev libasio-dev libsystemd-dev libcpp-httplib-dev pkgconf
    libpq-dev libmosquitto-dev)

install_missing_packages() {
    local missing=()
    for package in "${required_packages[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The code needs Qt 6.3 or later (QTcpServer::setListenBacklogSize, qt_standard_project_setup);
# older releases such as Ubuntu 22.04 install 6.2, whose build would fail halfway.
require_qt_6_3() {
    local version
    version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
    if dpkg --compare-versions "$version" lt 6.3~; then
        echo "Stilwater needs Qt 6.3 or later, and this system's qt6-base-dev is ${version%%+*}." \
            "Debian 12 and Ubuntu 24.04 or later have it." >&2
        exit 1
    fi
}

# build_project [FOLDER [CMAKE OPTIONS...]]: configures FOLDER (build/ by default) once with the
# options, then builds it.
build_project() {
    require_qt_6_3
    local folder="$root/${1:-build}"
    [ $# -gt 0 ] && shift
    if [ ! -f "$folder/build.ninja" ]; then
        cmake -S "$root" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$folder"
}
