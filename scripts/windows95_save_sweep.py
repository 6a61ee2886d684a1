#!/usr/bin/python3
"""windows95_save_sweep.py MODEL_DIR [EXE [HOST_KESTRA32 [EXAMPLES_WINDOWS_DIR]]]

Runs the 32-bit KESTRA32.EXE on the Windows 95 model in MODEL_DIR (its
w95emu.py and registry.json), with MoveFileExA's stub reporting 120, nothing,
0 and 1, on a Pentium and on a later processor, and makes each file and
registry call of a whole run fail in turn, once. Every run must end with exit
code 0 and no handle open, every INF file present with its old or its new
bytes, no new or old file left beside it (unless the failing call was the very
deletion of one), and the failure may cost no more than its own slot of the
run. A failing GetWindowsDirectoryA leaves the run nothing to do: it must
touch nothing. Without a failure all three files are patched, as the Linux
build patches them. Prints one line per setting and exits 1 on any fault.

EXE defaults to build/win-i686/KESTRA32.EXE, HOST_KESTRA32 to build/kestra32
and EXAMPLES_WINDOWS_DIR to examples/WINDOWS, all in this source tree."""
import concurrent.futures, copy, filecmp, json, os, shutil, subprocess, sys, tempfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILES = ['MSHDC.INF', 'MACHINE.INF', 'USB.INF']
DELETED = [['System', 'CurrentControlSet', 'Services', 'Class', 'hdc'], ['Enum', 'MF'], ['Enum', 'PCI']]
SWEPT = ['CreateFileA', 'ReadFile', 'ReadFile/short', 'WriteFile', 'WriteFile/short',
         'FlushFileBuffers', 'GetFileAttributesA', 'SetFileAttributesA', 'GetTempFileNameA',
         'DeleteFileA', 'MoveFileA', 'GetWindowsDirectoryA', 'RegOpenKeyA', 'RegDeleteKeyA']

model, exe, host, examples = (sys.argv[1:] + [None] * 4)[:4]
if model is None:
    sys.exit(__doc__)
exe = exe or os.path.join(TOP, 'build/win-i686/KESTRA32.EXE')
host = host or os.path.join(TOP, 'build/kestra32')
examples = examples or os.path.join(TOP, 'examples/WINDOWS')
registry_file = os.path.join(model, 'registry.json')
registry = json.load(open(registry_file))
work = tempfile.mkdtemp(prefix='w95sweep.')


def without_deleted(tree):
    tree = copy.deepcopy(tree)
    for path in DELETED:
        node = tree
        for part in path[:-1]:
            node = next((v for k, v in node.items() if k.upper() == part.upper()), {})
        for name in [k for k in node if k.upper() == path[-1].upper()]:
            del node[name]
    return tree


reset = without_deleted(registry)
expected = os.path.join(work, 'expected')
shutil.copytree(examples, expected)
subprocess.run([host], env=dict(os.environ, WINDIR=expected), check=True, stdin=subprocess.DEVNULL)


def state_of(path, name):
    """'old' or 'new' when the file at path holds those bytes of INF file name."""
    for state, reference in (('old', examples), ('new', expected)):
        if os.path.isfile(path) and filecmp.cmp(path, os.path.join(reference, 'INF', name), False):
            return state
    return 'missing' if not os.path.exists(path) else 'MIXED'


def run(number, stub, pentium, failing):
    tree = os.path.join(work, f'run{number}')
    shutil.copytree(examples, tree)
    command = [sys.executable, os.path.join(model, 'w95emu.py'), exe, tree,
               '--registry', registry_file, '--stub-error', stub]
    command += ['--pentium'] * pentium + [f'--fail-call={call}' for call in failing]
    result = json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)
    folder = os.path.join(tree, 'INF')
    states = [state_of(os.path.join(folder, name), name) for name in FILES]
    # Each leftover with what it holds of the first file, MSHDC.INF.
    leftovers = {e: state_of(os.path.join(folder, e), FILES[0])
                 for e in os.listdir(folder) if e.upper() not in FILES}
    shutil.rmtree(tree)
    return result, states, leftovers


def faults(result, states, leftovers, failing):
    """What is wrong with one run that had at most one failing call."""
    found = []
    if result['exit_code'] != 0 or result['fault'] or result['open_handles']:
        found.append(f"exit {result['exit_code']}, fault {result['fault']}, "
                     f"{result['open_handles']} handles open")
    if any(state not in ('old', 'new') for state in states):
        found.append(f'files {states}')
    if leftovers and not any(call.startswith('DeleteFileA') for call in result['calls_failed']):
        found.append(f'left beside the files: {sorted(leftovers)}')
    undone = [name for name, state in zip(FILES, states) if state != 'new']
    if result['registry'] != reset:
        undone.append('registry')
    if not failing:
        if undone:
            found.append(f'without a failure, not done: {undone}')
    elif failing == ['GetWindowsDirectoryA:1']:
        if states != ['old'] * 3 or result['registry'] != registry:
            found.append('without the Windows directory, something was touched')
    elif len(undone) > 1 or (undone and result['calls_failed'] == []):
        found.append(f'not done: {undone}')
    elif failing[0].startswith('Reg') and undone != ['registry'] and undone:
        found.append(f'a registry call cost {undone}')
    return found


def sweep(stub, pentium):
    clean = run(0, stub, pentium, [])
    problems = [('no failure', f) for f in faults(*clean, [])]
    runs = [[f'{name}:{n}'] for name in SWEPT for n in range(1, clean[0]['calls'].get(name.split('/')[0], 0) + 1)]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        results = pool.map(lambda item: (item[1], run(item[0] + 1, stub, pentium, item[1])), enumerate(runs))
        for failing, outcome in results:
            problems += [(failing[0], f) for f in faults(*outcome, failing)]
    # Both the rename of the new file and the move back failing: the file is
    # missing, its old bytes lie aside in OLDXXXX.TMP and its new ones in
    # K32XXXX.TMP, both whole.
    result, states, leftovers = run(len(runs) + 1, stub, pentium, ['MoveFileA:2', 'MoveFileA:3'])
    if states[0] != 'missing' or {name[:3]: state for name, state in leftovers.items()} != {
            'OLD': 'old', 'K32': 'new'}:
        problems.append(('MoveFileA:2,3', f'files {states}, beside them {leftovers}'))
    label = f"stub error {stub:>4}, {'Pentium' if pentium else 'later CPU'}"
    print(f"{label}: {len(runs) + 2} runs, {len(problems)} faults"
          + ''.join(f'\n  {call}: {problem}' for call, problem in problems[:10]), flush=True)
    return not problems


ok = [sweep(stub, pentium) for pentium in (False, True) for stub in ('120', 'keep', '0', '1')]
shutil.rmtree(work)
print('PASS' if all(ok) else 'FAIL')
sys.exit(0 if all(ok) else 1)
