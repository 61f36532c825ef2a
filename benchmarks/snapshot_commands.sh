#!/bin/sh
# The child programs that Experiment() runs in a dirty work tree, in the same order and with the same
# arguments, from a shell: the probe's four queries, the snapshot in a private index, then hostname.
# Usage: snapshot_commands.sh <run id>   (from inside the work tree)
set -u
run_id=$1
inside=$(git rev-parse --is-inside-work-tree 2>/dev/null) || exit 1
[ "$inside" = true ] || exit 1
head=$(git rev-parse HEAD 2>/dev/null)
branch=$(git rev-parse --abbrev-ref HEAD 2>/dev/null)
changes=$(git status --porcelain --ignore-submodules 2>/dev/null)
if [ -n "$changes" ]; then
  git_dir=$(git rev-parse --git-dir 2>/dev/null) || exit 2
  top=$(git rev-parse --show-toplevel 2>/dev/null) || exit 2
  index="${TMPDIR:-/tmp}/bench-$run_id.index"
  in_index() {
    GIT_INDEX_FILE=$index GIT_DIR=$git_dir GIT_WORK_TREE=$top git "$@" 2>/dev/null
  }
  # The private index starts as a copy of the user's, its time kept, then reset to HEAD.
  user_index=$(git rev-parse --git-path index 2>/dev/null) || exit 2
  cp -p "$user_index" "$index" || exit 3
  in_index ls-files -v -z --sparse --cached --others --exclude-standard --full-name -- :/ \
    >/dev/null || exit 3
  in_index -c core.splitIndex=false read-tree --reset --no-sparse-checkout "$head" >/dev/null \
    || exit 3
  in_index -c core.fsmonitor=false -c core.trustctime=true -c core.checkStat=default \
    -c core.splitIndex=false add --all >/dev/null || exit 3
  in_index -c core.splitIndex=false reset --quiet --no-refresh -- "${TROVIK_DIR:-.trovik}" \
    >/dev/null || exit 3
  tree=$(in_index -c core.splitIndex=false write-tree) || exit 3
  head_tree=$(git rev-parse "$head^{tree}" 2>/dev/null) || exit 3
  [ "$tree" != "$head_tree" ] || exit 4
  commit=$(in_index commit-tree "$tree" -p "$head" -m "trovik: snapshot run $run_id") || exit 3
  in_index update-ref "refs/heads/run/$run_id" "$commit" >/dev/null || exit 3
  rm -f "$index"
  branch="run/$run_id"
  head=$commit
fi
host=$(hostname 2>/dev/null)
printf '%s %s %s\n' "$head" "$branch" "$host"
