#!/usr/bin/perl
# Independent reader: walks one character tag of a CDX file in index order and prints the
# record numbers, one per line.
use strict;
use warnings;
use XBase::Index;

my ($file, $tag) = @ARGV;
my $idx = XBase::Index->new($file, tag => $tag, type => "char") or die XBase::Index->errstr;
$idx->prepare_select;
while (my ($key, $rec) = $idx->fetch) {
    print "$rec\n";
}
