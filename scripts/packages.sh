# Installs the Debian packages velkor needs when they are missing. Sourced by run.sh
# and test.sh; apt-get runs as root, or through sudo.

VELKOR_BUILD_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libsndfile1-dev portaudio19-dev libjack-jackd2-dev libasound2-dev libasound2-plugins libpulse-dev
  nlohmann-json3-dev libcli11-dev qt6-base-dev libmosquitto-dev qt6-httpserver-dev qt6-websockets-dev zlib1g-dev
  qt6-multimedia-dev
)
# What the dialog's Calls list plays recordings with at run time: Qt Multimedia's
# GStreamer backend (Debian 12's Qt 6.4), its FLAC, WAV and Opus decoders and the
# PulseAudio sink.
VELKOR_RUNTIME_PACKAGES=(
  libqt6multimedia6 gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pulseaudio
)
VELKOR_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev sox
  pulseaudio pulseaudio-utils libasound2-plugins
  xvfb xauth imagemagick openbox x11-utils chromium
  "${VELKOR_RUNTIME_PACKAGES[@]}"
  clang libclang-rt-14-dev clang-tidy clang-format cppcheck
  libhamlib-utils gqrx-sdr
  mosquitto mosquitto-clients
  dpkg-dev lintian desktop-file-utils appstream man-db
)

velkor_install_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
