# Installs the Debian packages that the build, the tests, the benchmarks and a screen need (the icon
# and manual page are made at build time, the install tests validate and package what is installed),
# when any of them is missing. Sourced by ./run, ./test and ./bench/run.
varnex_install_deps() {
    local pkgs=(build-essential cmake g++ pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev
                libgtest-dev libgmock-dev libbenchmark-dev libopenblas-dev libgmp-dev
                qt6-charts-dev libqt6opengl6-dev liburing-dev libarchive-dev clang libclang-rt-14-dev time
                xvfb xauth fonts-dejavu-core
                librsvg2-bin help2man dpkg-dev desktop-file-utils appstream lintian "$@")
    local missing=()
    for p in "${pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}
