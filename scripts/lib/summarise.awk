# Counts results from `ctest -V` output. A GoogleTest executable counts each
# of its cases; any other CTest test counts once. A test executable that
# failed without reporting a failing case (a crash, a timeout) counts as one
# failure on top of what it reported.
/^[0-9]+: \[       OK \] .* \([0-9]+ ms\)$/ { split($1, a, ":"); ok[a[1]]++; next }
/^[0-9]+: \[  FAILED  \] .* \([0-9]+ ms\)$/ { split($1, a, ":"); bad[a[1]]++; next }
/Test +#[0-9]+: / {
  match($0, /#[0-9]+/); id = substr($0, RSTART + 1, RLENGTH - 1)
  if ($0 ~ / Passed/) status[id] = "pass"
  else if ($0 ~ /\*\*\*|Failed|Not Run|Timeout|Exception/) status[id] = "fail"
}
END {
  for (id in status) {
    if ((id in ok) || (id in bad)) {
      passed += ok[id]; failed += bad[id]
      if (status[id] == "fail" && !(id in bad)) failed++
    } else if (status[id] == "pass") passed++
    else failed++
  }
  printf "%d %d\n", passed, failed
}
