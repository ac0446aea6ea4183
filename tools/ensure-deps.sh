#!/bin/sh
# Makes sure the build tools, the test libraries, what cvrpview needs
# (gnuplot to draw, Eigen for the map layout) and GNU parallel (to spread
# cvrpbatch's jobs over cores and machines) are installed. As root it
# installs what is missing with apt-get; otherwise it says what to install.
missing=""
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v g++ >/dev/null 2>&1 || missing="$missing g++"
[ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
[ -f /usr/include/benchmark/benchmark.h ] || missing="$missing libbenchmark-dev"
command -v gnuplot >/dev/null 2>&1 || missing="$missing gnuplot-nox"
[ -f /usr/include/eigen3/Eigen/Dense ] || missing="$missing libeigen3-dev"
command -v parallel >/dev/null 2>&1 || missing="$missing parallel"
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = "0" ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && apt-get install -y -q $missing
  exit $?
fi
echo "Missing packages:$missing"
echo "Install them first, for example: sudo apt-get install$missing"
exit 1
