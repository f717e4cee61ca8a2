function check_saved_records(params_mat, run_mat)
  % Loads what `tern params --save` and `tern run --save` wrote and checks
  % names, classes and shapes as the host modules would hand them out.
  p = load(params_mat);
  assert(isequal(fieldnames(p), {'milstd'}));
  m = p.milstd;
  names = {'symbolRate'; 'bitsToSym'; 'mapper'; 'demapper'; 'constellation'; ...
           'dataFramesPerInter'; 'interLength'; 'inputBitsPerInter'; 'interIncrement'; ...
           'codeRate'; 'codLength'; 'genPolinomials'; 'puncturingMask'; 'repFactor'; ...
           'dataLength'; 'probeLength'; 'scrambler'; 'preambleFrame'; 'preambleLength'; ...
           'probeFrame'; 'probeShiftFrame'; 'interTable'};
  assert(isequal(fieldnames(m), names), 'milstd field names or order');
  complexFields = {'constellation', 'preambleFrame', 'probeFrame', 'probeShiftFrame'};
  for i = 1:numel(names)
    v = m.(names{i});
    assert(isa(v, 'double'), [names{i} ' is not double']);
    assert(iscomplex(v) == any(strcmp(names{i}, complexFields)), [names{i} ' complexity']);
  end
  scalars = {'symbolRate', 'bitsToSym', 'dataFramesPerInter', 'interLength', 'inputBitsPerInter', ...
             'interIncrement', 'codeRate', 'codLength', 'repFactor', 'dataLength', 'probeLength', 'preambleLength'};
  for i = 1:numel(scalars)
    assert(isequal(size(m.(scalars{i})), [1 1]), [scalars{i} ' is not 1-by-1']);
  end
  assert(isequal(size(m.genPolinomials), [1 2]));
  assert(isequal(m.genPolinomials, [561 753]));
  assert(isequal(size(m.mapper), [4 1]) && isequal(size(m.constellation), [8 1]));
  assert(isequal(size(m.puncturingMask), [6 1]) && isequal(size(m.scrambler), [2176 1]));
  assert(isequal(size(m.interTable), [278528 1]) && m.interLength == 278528);
  assert(isequal(size(m.preambleFrame), [m.preambleLength 1]));
  assert(isequal(size(m.probeFrame), [272 1]) && isequal(size(m.probeShiftFrame), [272 1]));

  r = load(run_mat);
  expected = {'varmilstd'; 'varShapping'; 'varWatterson'; 'milstd'; 'sendOut'; 'shapeOut'; 'fadeOut'; ...
              'matchOut'; 'FrameStartSample'; 'timingOut'; 'splitOut'; 'detectOut'; 'unweaveOut'; ...
              'decodeHardOut'; 'softDetectOut'; 'softUnweaveOut'; 'decodeSoftOut'; 'receiveOut'; 'estimate'};
  assert(isequal(sort(fieldnames(r)), sort(expected)), 'run variables');
  assert(isequal(fieldnames(r.receiveOut), {'DecodOut'; 'LLROut'; 'passes'}));
  assert(isequal(fieldnames(r.estimate), {'delays'; 'gains'; 'gainError'; 'N0'; 'doppler'}));
  assert(isequal(size(r.receiveOut.DecodOut), size(r.sendOut.BitInCodIn)));
  assert(size(r.estimate.gains, 2) == numel(r.estimate.delays));
  assert(ischar(r.varmilstd.modointer) && strcmp(r.varmilstd.modointer, 'ultrashort'));
  assert(isequal(fieldnames(r.sendOut), {'BitInCodIn'; 'CodOutInterIn'; 'InterOutMapIn'; 'MapOutScrambIn'; ...
         'ScrambOutMultiplexIn'; 'ComplexPSKSymbols'; 'ModConstellation'; 'ProbeInfo'; 'MultiplexOut'}));
  assert(iscomplex(r.sendOut.MultiplexOut) && size(r.sendOut.MultiplexOut, 2) == 1);
  assert(size(r.shapeOut.filter, 1) == 1, 'filter is a row');
  assert(isequal(size(r.fadeOut.raios), [numel(r.shapeOut.out) 2]));
  assert(isequal(fieldnames(r.matchOut), {'filter'; 'filterDelay'; 'out'}));
  assert(isequal(size(r.FrameStartSample), [1 1]));
  assert(isequal(fieldnames(r.detectOut), {'DemodOutDemapIn'; 'DemapOut'}));
  assert(isequal(size(r.unweaveOut.out), size(r.sendOut.CodOutInterIn)));
  assert(isequal(fieldnames(r.decodeSoftOut), {'DecodOut'}) && isequal(fieldnames(r.softDetectOut), {'LLROut'}));
  assert(isequal(size(r.decodeHardOut.DecodOut), size(r.sendOut.BitInCodIn)));
  assert(isequal(size(r.decodeSoftOut.DecodOut), size(r.sendOut.BitInCodIn)));
  assert(isequal(size(r.softUnweaveOut.out), size(r.sendOut.CodOutInterIn)));
  assert(isequal(size(r.softDetectOut.LLROut), size(r.detectOut.DemapOut)));
  disp('saved records load with the right names, classes and shapes');
end
