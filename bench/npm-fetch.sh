# Sourced by the benchmarks: fetch PACKAGE VERSION prints the package unpacked
# from the npm registry, cached below $cache.
fetch() {
    dir="$cache/$(echo "$1" | tr '/@' '__')-$2"
    if [ ! -d "$dir/package" ]; then
        mkdir -p "$dir"
        (cd "$dir" && npm pack "$1@$2" --silent >/dev/null && tar -xzf ./*.tgz)
    fi
    echo "$dir/package"
}
