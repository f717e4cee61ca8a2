function build_matlab(outdir)
% build_matlab  Builds the host modules with MATLAB's mex command.
%   build_matlab           writes ternSetup.mexa64 ... to build/matlab
%   build_matlab(outdir)   writes them to outdir
% The sources are those of the Octave build: each module is its entry file,
% the host entry layer, the shared gateway and the subsystem folders of its
% core. Needs a C++20 compiler configured for mex (mex -setup C++). Complex
% arrays are exchanged with the separate real/imaginary interface (-R2017b).
% Then: addpath(outdir); run(fullfile(<repository>, 'examples', 'chain.m'))

root = fileparts(fileparts(mfilename('fullpath')));
if nargin < 1
  outdir = fullfile(root, 'build', 'matlab');
end
if ~exist(outdir, 'dir')
  mkdir(outdir);
end
src = fullfile(root, 'src');

% module, and the subsystem folders its core needs (its own first)
modules = {
  'ternSetup',     {'setup'}
  'ternSend',      {'transmit', 'setup'}
  'ternShape',     {'filters'}
  'ternMatch',     {'filters'}
  'ternFade',      {'channel'}
  'ternTiming',    {'sync'}
  'ternFrameLock', {'sync'}
  'ternSplit',     {'receive', 'transmit', 'setup'}
  'ternDetect',    {'receive', 'transmit', 'setup'}
  'ternUnweave',   {'receive', 'transmit', 'setup'}
  'ternSoftDetect', {'receive', 'transmit', 'setup'}
  'ternDecode',    {'receive', 'transmit', 'setup'}
  'ternEstimate',  {'equalize', 'receive', 'filters', 'transmit', 'setup'}
  'ternEqualize',  {'equalize', 'receive', 'filters', 'transmit', 'setup'}
  'ternReceive',   {'equalize', 'receive', 'filters', 'transmit', 'setup'}
  'ternSiso',      {'equalize', 'receive', 'filters', 'transmit', 'setup'}
  'ternInterleave', {'equalize', 'receive', 'filters', 'transmit', 'setup'}
};

common = [cpp_files(fullfile(src, 'gateway')), cpp_files(fullfile(src, 'gateway', 'host'))];
options = {'-R2017b', '-outdir', outdir, ['-I' src], 'CXXFLAGS=$CXXFLAGS -std=c++20'};
if isunix && ~ismac
  % export only mexFunction and emlrtMexFcnProperties (and mex's own version tag)
  map = fullfile(src, 'mex', 'exports.map');
  options = [options, {['LINKEXPORT=-Wl,--version-script,"' map '"'], ...
                       ['LINKEXPORTVER=-Wl,--version-script,"' map '"']}];
end

for k = 1:size(modules, 1)
  name = modules{k, 1};
  sources = [{fullfile(src, 'mex', [name '.cpp'])}, common];
  folders = modules{k, 2};
  for f = 1:numel(folders)
    sources = [sources, cpp_files(fullfile(src, folders{f}))]; %#ok<AGROW>
  end
  fprintf('building %s\n', name);
  mex(options{:}, sources{:}, '-output', name);
end
end

function files = cpp_files(folder)
listing = dir(fullfile(folder, '*.cpp'));
files = cellfun(@(n) fullfile(folder, n), {listing.name}, 'UniformOutput', false);
end
