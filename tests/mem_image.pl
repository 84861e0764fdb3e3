#!/usr/bin/perl
# A sparse physical-memory image for the case runner: 4 GiB + 4 KiB of zeros with the
# 32-bit words (host byte order) of a words file: lines "OFFSET VALUE" and optionally
# "size SIZE" (a shorter image, whose end a mapping can run past), all hexadecimal;
# "#" starts a comment.
#   mem_image.pl make IMAGE WORDS    create IMAGE holding WORDS
#   mem_image.pl check IMAGE WORDS   IMAGE's non-zero words must be exactly WORDS
# check reads only the regions the file system reports as data, so it stays fast.
use strict;
use warnings;
use Fcntl qw(O_RDWR O_CREAT O_RDONLY);

my ($mode, $image, $words_file) = @ARGV;
my $image_size = 4 * 1024**3 + 4096;
my ($SEEK_DATA, $SEEK_HOLE) = (3, 4);

my %want;
open(my $w, '<', $words_file) or die "$words_file: $!\n";
while (<$w>) {
    s/#.*//;
    my @f = split;
    next unless @f;
    die "$words_file:$.: want OFFSET VALUE or size SIZE\n" unless @f == 2;
    if ($f[0] eq 'size') {
        $image_size = hex $f[1];
    } else {
        $want{ hex $f[0] } = hex $f[1];
    }
}
for my $offset (keys %want) {
    die sprintf("%s: 0x%x is not a word inside the image\n", $words_file, $offset)
        if $offset % 4 || $offset + 4 > $image_size;
}

if ($mode eq 'make') {
    sysopen(my $fh, $image, O_RDWR | O_CREAT) or die "$image: $!\n";
    truncate($fh, $image_size) or die "$image: truncate: $!\n";
    for my $offset (sort { $a <=> $b } keys %want) {
        sysseek($fh, $offset, 0) or die "$image: seek: $!\n";
        syswrite($fh, pack('L', $want{$offset})) == 4 or die "$image: write: $!\n";
    }
    close($fh) or die "$image: $!\n";
    exit 0;
}
die "usage: $0 make|check IMAGE WORDS\n" unless $mode eq 'check';

sysopen(my $fh, $image, O_RDONLY) or die "$image: $!\n";
(-s $fh) == $image_size or die "$image: size changed to " . (-s $fh) . "\n";
my %found;
my $pos = 0;
while (defined(my $data = sysseek($fh, $pos, $SEEK_DATA))) {
    my $hole = sysseek($fh, $data, $SEEK_HOLE) // die "$image: seek: $!\n";
    sysseek($fh, $data, 0) // die "$image: seek: $!\n";
    for (my $at = $data; $at < $hole; $at += 1 << 20) {
        my $n = $hole - $at < 1 << 20 ? $hole - $at : 1 << 20;
        sysread($fh, my $buf, $n) == $n or die "$image: short read\n";
        my @v = unpack('L*', $buf);
        $v[$_] and $found{ $at + 4 * $_ } = $v[$_] for 0 .. $#v;
    }
    $pos = $hole;
}
my $bad = 0;
for my $offset (sort { $a <=> $b } keys %{{ %want, %found }}) {
    my ($exp, $got) = ($want{$offset} // 0, $found{$offset} // 0);
    next if $exp == $got;
    printf "memory at 0x%08x: 0x%08x, expected 0x%08x\n", $offset, $got, $exp;
    $bad = 1;
}
exit $bad;
