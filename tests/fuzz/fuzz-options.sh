# libFuzzer options per target (sourced by scripts/fuzz-smoke.sh and
# bench/fuzz.sh): the input size limit and the dictionary where there is one.
veltrana_fuzz_options() {
  local Dir
  Dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  case "$1" in
    fuzz_coordinate_text) echo "-max_len=256 -dict=$Dir/coordinate.dict" ;;
    fuzz_settings_file) echo "-max_len=4096 -dict=$Dir/settings.dict" ;;
    fuzz_grid_files) echo "-max_len=2048" ;;
    fuzz_data_stream) echo "-max_len=4096" ;;
    *) echo "-max_len=1024" ;;
  esac
}
