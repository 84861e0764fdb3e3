#!/bin/bash
# Checks that each access routine of a device program compiles to exactly one memory
# instruction, the one its table names (a load or store of the access's width).
#   access_width.sh OBJDUMP TABLE OBJECT...
set -u
objdump=$1 table=$2
shift 2
"$objdump" -d -C --no-show-raw-insn "$@" | perl -e '
    my %want;
    open(my $t, "<", $ARGV[0]) or die "$ARGV[0]: $!\n";
    while (<$t>) {
        chomp;
        next if /^(#|$)/;
        my ($function, $instruction) = split /\t/;
        $want{$function} = $instruction;
    }
    my ($in, %got);
    while (<STDIN>) {
        if (/^[0-9a-f]+ <(.*)>:$/) { $in = $1; $got{$in} //= []; }
        elsif (defined $in && /^\s+[0-9a-f]+:\s+((?:ldr|str|ldm|stm|push|pop|swp)\S*)/) {
            push @{$got{$in}}, $1;
        }
    }
    my $fail = 0;
    for my $function (sort keys %want) {
        my $seen = join(" ", @{$got{$function} // ["(no such routine)"]});
        my $ok = $seen eq $want{$function};
        print $ok ? "PASS" : "FAIL", ": $function: $seen (want $want{$function})\n";
        $fail ||= !$ok;
    }
    exit $fail;' "$table"
