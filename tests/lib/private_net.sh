# Sourced after setup.sh by the tests whose traffic must be their own: the
# script runs again inside a private network namespace (unshare -n), where
# only what the test sends moves the counters, and gets there a scratch
# folder (scripts/scratch: work, pids), a veth pair whose far end is $peer
# (scripts/veth-pair) and, when asked, an X server of its own
# (scripts/xsession; a server listens in the namespace it was started in).
#
#   source "$source/tests/lib/private_net.sh" [--x | --tray] [--optional]
#
#   --x, --tray  start the X server, --tray with trayer beside it
#   --optional   where no namespace or veth pair can be made, run on in the
#                machine's own network without a pair; otherwise the test
#                is skipped there (77)
# Sets private=yes when the pair is there, else no. The script itself is
# started again without arguments.

_tovi_net_x=""
_tovi_net_optional=no
for _tovi_net_arg; do
    case $_tovi_net_arg in
    --x) _tovi_net_x=plain ;;
    --tray) _tovi_net_x=--tray ;;
    --optional) _tovi_net_optional=yes ;;
    esac
done
set --  # the files sourced below take theirs from the positional parameters
if [ -z "${TOVI_PRIVATE_NET:-}" ]; then
    if unshare -n true 2>/dev/null; then
        exec unshare -n env TOVI_PRIVATE_NET=1 bash "$0"
    fi
    [ $_tovi_net_optional = yes ] || skip "no private network namespace here"
fi

source "$source/scripts/scratch"
private=no
if [ -n "${TOVI_PRIVATE_NET:-}" ] && source "$source/scripts/veth-pair"; then
    private=yes
elif [ $_tovi_net_optional = no ]; then
    skip "no veth pair here"
fi
case $_tovi_net_x in
plain) source "$source/scripts/xsession" || fail "Xvfb did not start" ;;
--tray) source "$source/scripts/xsession" --tray || fail "Xvfb did not start" ;;
esac
unset _tovi_net_x _tovi_net_optional _tovi_net_arg
