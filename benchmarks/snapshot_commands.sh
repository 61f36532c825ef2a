#!/bin/sh
# The child programs that Experiment() runs in a dirty work tree, in the same order and with the same
# arguments, from a shell: the probe's four queries, the snapshot in a private index built from what
# git status listed, then hostname. Reads status the simple way, which holds for the benchmark's
# names (no quoting, no renames) and settings (nothing that hides a change from status).
# Usage: snapshot_commands.sh <run id>   (from inside the work tree)
set -u
run_id=$1
inside=$(git rev-parse --is-inside-work-tree 2>/dev/null) || exit 1
[ "$inside" = true ] || exit 1
head=$(git rev-parse HEAD 2>/dev/null)
branch=$(git rev-parse --abbrev-ref HEAD 2>/dev/null)
changes=$(GIT_OPTIONAL_LOCKS=0 git status --porcelain --ignore-submodules 2>/dev/null)
if [ -n "$changes" ]; then
  paths=$(git rev-parse --git-dir --show-toplevel --git-path index "$head^{tree}" 2>/dev/null) \
    || exit 2
  git_dir=$(echo "$paths" | sed -n 1p)
  top=$(echo "$paths" | sed -n 2p)
  user_index=$(echo "$paths" | sed -n 3p)
  head_tree=$(echo "$paths" | sed -n 4p)
  index="${TMPDIR:-/tmp}/bench-$run_id.index"
  in_index() {
    GIT_INDEX_FILE=$index GIT_DIR=$git_dir GIT_WORK_TREE=$top git "$@" 2>/dev/null
  }
  # The private index starts as a copy of the user's, its time kept.
  cp -p "$user_index" "$index" || exit 3
  git config -z --list >/dev/null 2>&1 || exit 3
  in_index ls-files -s -v -z --sparse --cached --full-name -- :/ >/dev/null || exit 3
  differences=$(in_index diff-index --cached -z --no-renames --ignore-submodules=none "$head" --) \
    || exit 3
  [ -z "$differences" ] || in_index -c core.splitIndex=false read-tree --reset \
    --no-sparse-checkout "$head" >/dev/null || exit 3
  tracked=$(echo "$changes" | sed -n 's/^[^?][^?] //p')
  untracked=$(echo "$changes" | sed -n 's/^?? /:(top,literal)/p')
  files=
  if [ -n "$untracked" ]; then
    # shellcheck disable=SC2086  # one pathspec per line, none with white space
    files=$(in_index ls-files -z --others --exclude-standard --full-name -- $untracked \
      | tr '\0' '\n') || exit 3
  fi
  # shellcheck disable=SC2086  # one path per line, none with white space
  in_index -c core.fsmonitor=false -c core.trustctime=true -c core.checkStat=default \
    -c core.splitIndex=false update-index --add --remove --replace -- $tracked $files \
    >/dev/null || exit 3
  tree=$(in_index -c core.splitIndex=false write-tree) || exit 3
  [ "$tree" != "$head_tree" ] || exit 4
  commit=$(in_index commit-tree "$tree" -p "$head" -m "trovik: snapshot run $run_id") || exit 3
  in_index update-ref "refs/heads/run/$run_id" "$commit" >/dev/null || exit 3
  rm -f "$index"
  branch="run/$run_id"
  head=$commit
fi
host=$(hostname 2>/dev/null)
printf '%s %s %s\n' "$head" "$branch" "$host"
