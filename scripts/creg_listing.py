#!/usr/bin/python3
"""creg_listing.py FILE...

The keys and values of Windows 9x registry files as two independent readers
list them, libcreg (python3-libcreg) and Parse::Win32Registry (perl). Run as a
script, prints for each file the SHA-256 of its listing when both readers
agree on it, else "readers disagree", then "sound" when its bookkeeping has
nothing wrong but space not yet freed (scripts/creg_bookkeeping.py),
"stale-checksums" when it has nothing else wrong but checksums, else
"unsound"."""
import hashlib, subprocess, sys

import pycreg

import creg_bookkeeping

PERL_LISTER = r'''
use Parse::Win32Registry;
my $root = Parse::Win32Registry->new($ARGV[0]) or die "unreadable\n";
sub walk {
  my ($key, $path) = @_;
  print "$path\n";
  for my $v ($key->get_list_of_values) {
    printf "%s\t%s\t%d\t%s\n", $path, $v->get_name, $v->get_type, unpack('H*', $v->get_raw_data);
  }
  walk($_, $path eq '' ? $_->get_name : "$path\\" . $_->get_name) for $key->get_list_of_subkeys;
}
walk($root->get_root_key, '');
'''


def listing_by_libcreg(path):
    """The sorted lines of keys and values libcreg reads, or the error it
    fails with."""
    registry = pycreg.file()
    lines = []

    def walk(key, key_path):
        lines.append(key_path)
        for value in key.values:
            lines.append(f'{key_path}\t{value.name or ""}\t{value.type}\t{(value.data or b"").hex()}')
        for subkey in key.sub_keys:
            walk(subkey, f'{key_path}\\{subkey.name}' if key_path else subkey.name)

    try:
        registry.open(path)
        walk(registry.get_root_key(), '')
        registry.close()
    except OSError as error:
        return [f'libcreg fails: {error}']
    return sorted(lines)


def listing_by_perl(path):
    """The same by Parse::Win32Registry."""
    output = subprocess.run(['perl', '-e', PERL_LISTER, path], capture_output=True)
    if output.returncode:
        return [f'Parse::Win32Registry fails: {output.stderr.decode("latin-1")}']
    return sorted(output.stdout.decode('latin-1').splitlines())


def main():
    for path in sys.argv[1:]:
        by_libcreg, by_perl = listing_by_libcreg(path), listing_by_perl(path)
        with open(path, 'rb') as registry:
            problems = creg_bookkeeping.serious(registry.read())
        stale = problems and all(problem.endswith('checksum wrong') for problem in problems)
        print(hashlib.sha256('\n'.join(by_libcreg).encode()).hexdigest() if by_libcreg == by_perl
              else 'readers disagree',
              'stale-checksums' if stale else 'unsound' if problems else 'sound')


if __name__ == '__main__':
    main()
