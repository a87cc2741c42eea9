# shellcheck shell=bash
# Installs a built configuration into a private prefix and builds the consumer project
# (examples/consumer) against it out of the source tree, once through the CMake package and
# once through pkg-config, running each result. Source it after common.sh.

# hyrn_check_consumer <preset>: prints one line per way and returns the number that failed.
hyrn_check_consumer() {
  local preset="$1" build="$HYRN_ROOT/build/$1"
  local prefix="$build/consumer/install" failed=0 way
  rm -rf "$build/consumer"
  if ! cmake --install "$build" --prefix "$prefix" >"$build/consumer-install.log" 2>&1; then
    hyrn_log "consumer: install failed (see $build/consumer-install.log)"
    return 2
  fi
  for way in cmake-package pkg-config; do
    local dir="$build/consumer/$way" use_pc=OFF
    [[ "$way" == pkg-config ]] && use_pc=ON
    if PKG_CONFIG_PATH="$prefix/lib/pkgconfig" cmake -S "$HYRN_ROOT/examples/consumer" -B "$dir" \
      -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DHYRN_CONSUMER_USE_PKGCONFIG="$use_pc" \
      >"$dir.log" 2>&1 && ninja -C "$dir" >>"$dir.log" 2>&1 &&
      LD_LIBRARY_PATH="$prefix/lib" "$dir/hyrn_consumer" >>"$dir.log" 2>&1; then
      hyrn_log "consumer ($way): built against the installed tree and ran"
    else
      hyrn_log "consumer ($way): FAILED (see $dir.log)"
      failed=$((failed + 1))
    fi
  done
  return "$failed"
}
