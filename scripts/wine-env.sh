# The Wine settings every script here runs Windows programs with (sourced):
# no debug output, and no prompts to install Wine's .NET and HTML engines.
# A caller's own values win.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
