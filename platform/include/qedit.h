// Sample grabber and null renderer: the filters that hand each sample of a
// stream to the application and then discard it.
#pragma once

#include "dshow.h"

extern const CLSID CLSID_SampleGrabber;
extern const CLSID CLSID_NullRenderer;
extern const IID IID_ISampleGrabber;
extern const IID IID_ISampleGrabberCB;

struct ISampleGrabberCB : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, long length) = 0;
};

struct ISampleGrabber : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL oneShot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL buffer) = 0;
    // which: 0 calls SampleCB, 1 calls BufferCB. Once SetCallback returns, a
    // callback object it replaced is no longer running and is not called
    // again, so the caller may destroy it.
    virtual HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB* callback, long which) = 0;
};
